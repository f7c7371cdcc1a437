// pelmarcab: list, test, extract and create cabinets.
#include <CLI/CLI.hpp>

#include "tools/pelmarcab/commands.h"

namespace {

constexpr const char *kSetNaming =
    "A set that needs more than one cabinet is written as OUT, then OUT with a running "
    "number before its extension: -o disk.cab gives disk.cab, disk2.cab, disk3.cab ...";

void add_read_command(CLI::App &app, const char *name, const char *help, pelmarcab::ReadMode mode,
                      pelmarcab::ReadOptions &options, int &status) {
    auto *cmd = app.add_subcommand(name, help);
    cmd->add_option("CABINET", options.cabinet, "the cabinet file")->required();
    if (mode != pelmarcab::ReadMode::List)
        cmd->add_option("--encoding", options.encoding,
                        "character set of names not marked as UTF-8 (default CP932)");
    if (mode == pelmarcab::ReadMode::Extract)
        cmd->add_option("-d,--directory", options.directory, "destination directory (default .)");
    cmd->callback([&options, &status, mode] {
        options.mode = mode;
        status = pelmarcab::read_cabinet(options);
    });
}

}  // namespace

int main(int argc, char **argv) {
    CLI::App app{"pelmarcab: list, test, extract and create cabinet (MSCF) files"};
    app.require_subcommand(1);
    int status = 0;

    pelmarcab::ReadOptions list, test, extract;
    add_read_command(app, "list",
                     "print one line per file entry: size, date, time, attributes, name",
                     pelmarcab::ReadMode::List, list, status);
    add_read_command(
        app, "test",
        "decode every file of the cabinet and the set that follows it, writing nothing",
        pelmarcab::ReadMode::Test, test, status);
    add_read_command(app, "extract",
                     "extract every file of the cabinet and the set that follows it",
                     pelmarcab::ReadMode::Extract, extract, status);

    pelmarcab::CreateOptions create;
    auto *cmd =
        app.add_subcommand("create", "write a cabinet (or a set) from files and directories");
    cmd->footer(kSetNaming);
    cmd->add_option("-o,--output", create.output, "the cabinet to write")->required();
    cmd->add_option("PATH", create.inputs,
                    "files, and directories whose files are stored by their names relative to it")
        ->required();
    cmd->add_option("-m,--method", create.method,
                    "none, mszip, lzx[:15..21] or quantum[:10..21] (default none)");
    cmd->add_option("--folder-size", create.folder_size,
                    "start a new folder before this many bytes are exceeded");
    cmd->add_option("--cabinet-size", create.cabinet_size,
                    "largest cabinet in bytes (at least about 40000); writes a set when needed");
    cmd->add_option("--reserve", create.reserve,
                    "header, folder and block reserve sizes, as H,F,D");
    cmd->add_flag("--best", create.best,
                  "lzx: choose matches by their cost in bits: about 7% smaller, half as fast");
    cmd->add_flag(
        "--no-checksum", [&create](int64_t) { create.checksums = false; },
        "write blocks without checksums");
    cmd->callback([&] { status = pelmarcab::create_cabinet(create); });

    pelmarcab::SfxOptions sfx;
    std::string cabinet_name, title, message, options;
    auto *sfx_cmd = app.add_subcommand("sfx",
                                       "write a self-extracting file: the installer stub, its "
                                       "configuration block and a cabinet");
    sfx_cmd->add_option("--stub", sfx.stub, "the installer program (pelmarself or pelmarself-cli)")
        ->required();
    auto *cabinet_name_opt =
        sfx_cmd->add_option("--cabinet-name", cabinet_name, "the $CABINET value");
    auto *title_opt =
        sfx_cmd->add_option("--title", title, "caption of the destination dialog ($TITLE)");
    auto *message_opt =
        sfx_cmd->add_option("--message", message, "label above the folder field ($MSG)");
    auto *options_opt = sfx_cmd->add_option("--options", options,
                                            "options applied before the command line ($CMDLINE)");
    sfx_cmd->add_option("-o,--output", sfx.output, "the self-extracting file to write")->required();
    sfx_cmd->add_option("CABINET", sfx.cabinet, "the cabinet to append")->required();
    sfx_cmd->callback([&] {
        // Only the values given on the command line become entries.
        if (cabinet_name_opt->count() > 0) sfx.block.cabinet_name = cabinet_name;
        if (title_opt->count() > 0) sfx.block.title = title;
        if (message_opt->count() > 0) sfx.block.message = message;
        if (options_opt->count() > 0) sfx.block.options = options;
        status = pelmarcab::write_sfx(sfx);
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : 1;
    }
    return status;
}
