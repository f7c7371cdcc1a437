#include "sfx/installer.h"

#include "sfx/extract.h"
#include "sfx/messages.h"
#include "sfx/options.h"
#include "sfx/paths.h"
#include "sfx/platform.h"
#include "sfx/session.h"
#include "sfx/settings.h"
#include "sfx/strings.h"

namespace sfx {
namespace {

// The dialog's Confirm: takes the field's text (UTF-8) into the locale's
// character set, expands a leading `~` as a shell would, and accepts a
// non-empty valid name of at most kMaxText bytes into `accepted`; otherwise
// explains what is wrong and keeps the dialog open.
bool confirm_destination(const std::string &label, const std::string &typed,
                         std::string &accepted) {
    std::string folder;
    if (platform::utf8_to_locale(typed, folder)) {
        folder = expand_home_folder(folder);
        if (!folder.empty() && folder.size() <= kMaxText && is_valid_folder_name(folder)) {
            accepted = folder;
            return true;
        }
    }
    if (typed.empty()) {
        // The label without its "(&T):" suffix names the field.
        const std::string field_name = label.substr(0, label.size() >= 5 ? label.size() - 5 : 0);
        show_message(SFX_MB_ICONINFORMATION, StringId::InstallerCaption, StringId::DestinationEmpty,
                     Insert::utf8(field_name));
    } else {
        show_message(SFX_MB_ICONINFORMATION, StringId::InstallerCaption,
                     StringId::DestinationInvalid, Insert::utf8(typed));
    }
    return false;
}

void start_configured_program() {
    const SfxSettings &settings = session().sfx_settings;
    if (settings.program.empty()) return;
    if (!settings.quiet_finish &&
        show_message(SFX_MB_YESNO | SFX_MB_ICONQUESTION, StringId::InstallerCaption,
                     StringId::AskRunProgram, settings.program) != SFX_IDYES) {
        return;
    }
    const std::string path = settings.destination + settings.program;
    if (path.size() > kMaxText) abort_extraction(SFX_ERR_EXTRACTION);
    platform::start_program(path);
}

}  // namespace

bool run_folder_dialog() {
    PayloadConfig &payload_config = session().payload_config;
    SfxSettings &sfx_settings = session().sfx_settings;
    const DialogTexts &texts = dialog_texts();
    DestinationDialog dialog;
    dialog.caption =
        payload_config.title.empty() ? texts.destination_caption : payload_config.title;
    if (payload_config.message.empty()) {
        dialog.label = texts.destination_label;
    } else {
        payload_config.message += "(&T):";
        dialog.label = payload_config.message;
    }
    dialog.folder = platform::locale_shown_in_utf8(sfx_settings.destination);
    dialog.browse_instruction = load_string(StringId::BrowseInstruction);
    dialog.confirm_text = texts.confirm;
    dialog.browse_text = texts.browse;
    dialog.cancel_text = texts.cancel_with_key;
    const std::string label = dialog.label;
    std::string accepted;
    dialog.confirm = [label, &accepted](const std::string &folder) {
        return confirm_destination(label, folder, accepted);
    };
    if (!ui().run_destination_dialog(dialog)) return false;
    sfx_settings.destination = accepted;
    return true;
}

int run_installer(Session &session, const StartupValues &startup) {
    const SessionScope bound(session);
    reset_run(session);
    PayloadConfig &payload_config = session.payload_config;
    SfxSettings &sfx_settings = session.sfx_settings;
    ProcessValues &process_values = session.process_values;
    process_values.start_directory = startup.start_directory;
    process_values.module_path = startup.module_path;
    if (!read_payload()) abort_extraction(SFX_ERR_PAYLOAD);
    parse_options(payload_config.command_line.c_str());
    for (const std::string &argument : startup.arguments) {
        parse_options(argument.c_str(), false);
    }
    resolve_destination();

    if (!sfx_settings.no_folder_dialog && !run_folder_dialog()) abort_extraction(SFX_ERR_CANCELLED);
    if (sfx_settings.destination.empty()) sfx_settings.destination = process_values.start_directory;

    const uint32_t status = extract_payload();
    process_values.message_owner = MessageOwner::None;
    if (status != 0) abort_extraction(status);

    start_configured_program();
    if (!sfx_settings.quiet_finish && session.extraction_state.extracted_count > 0) {
        show_message(SFX_MB_ICONINFORMATION, StringId::InstallerCaption,
                     StringId::ExtractionSucceeded);
    }
    return 0;
}

}  // namespace sfx
