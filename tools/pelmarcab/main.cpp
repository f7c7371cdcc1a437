// pelmarcab: list, test, extract and create cabinets.
#include <CLI/CLI.hpp>

#include "tools/pelmarcab/commands.h"

namespace {

constexpr const char *kCreateNotes =
    "Files are compressed with MSZIP unless -m says otherwise. A directory's files are stored "
    "in the order of their names, with their attributes (read-only when not writable, "
    "executable); with --mtime or SOURCE_DATE_EPOCH the same files give the same cabinet.\n"
    "A set that needs more than one cabinet is written as OUT, then OUT with a running "
    "number before its extension: -o disk.cab gives disk.cab, disk2.cab, disk3.cab ...";

void add_read_command(CLI::App &app, const char *name, const char *help, pelmarcab::ReadMode mode,
                      pelmarcab::ReadOptions &options, int &status) {
    using pelmarcab::ReadMode;
    auto *cmd = app.add_subcommand(name, help);
    cmd->add_option("CABINET", options.cabinets, "the cabinet files, each read in turn")
        ->required();
    cmd->add_option("-F,--filter", options.filters,
                    "only files whose stored name matches GLOB (\\ read as /; * and ? also "
                    "match /; repeatable, any match selects)")
        ->type_name("GLOB")
        ->allow_extra_args(false);  // each -F takes one glob; the cabinets follow
    cmd->add_flag("--case-sensitive", options.case_sensitive,
                  "match filters with case (default: A-Z and a-z are the same)");
    cmd->add_option("--encoding", options.encoding,
                    "character set of names not marked as UTF-8 (default CP932)");
    cmd->add_flag("-L,--lowercase", options.lowercase, "lower-case the letters A-Z of names");
    cmd->add_flag("-s,--single", options.single,
                  "read only the cabinets named, not the further cabinets of their sets");
    cmd->add_flag("-q,--quiet", options.quiet, "print failures only");
    if (mode == ReadMode::List) {
        cmd->add_flag("-v,--verbose", options.verbose,
                      "technical listing: header, folders, and files with their folder and "
                      "offset");
        cmd->add_flag("--json", options.json, "the technical listing as one JSON document");
    } else {
        cmd->add_flag("-v,--verbose", options.verbose,
                      "name each file, and say where decoding failed");
        cmd->add_option("-j,--jobs", options.jobs,
                        "decode up to N folders at once, each on its own thread (default: one "
                        "per core; the output is the same as with -j 1)")
            ->type_name("N")
            ->check(CLI::Range(1u, 256u));
        cmd->add_option_function<std::string>(
               "--salvage",
               [&options](const std::string &how) {
                   options.salvage = how == "partial" ? pelmarcab::SalvageMode::Partial
                                                      : pelmarcab::SalvageMode::Skip;
               },
               "read on past damaged blocks, truncation and missing set members: write every "
               "file that decodes cleanly, report each damaged one and why, exit with 1; "
               "damaged files are skipped, or with --salvage=partial written with their "
               "damaged range zero-filled")
            ->expected(0, 1)
            ->default_str("skip")
            ->check(CLI::IsMember({"skip", "partial"}));
    }
    if (mode == ReadMode::Extract) {
        cmd->add_option("-d,--directory", options.directory, "destination directory (default .)");
        cmd->add_flag("-p,--stdout", options.to_stdout,
                      "write the selected files' bytes to standard output, in table order");
    }
    cmd->callback([&options, &status, mode] {
        options.mode = mode;
        status = pelmarcab::read_cabinets(options);
    });
}

}  // namespace

int main(int argc, char **argv) {
    CLI::App app{"pelmarcab: list, test, extract and create cabinet (MSCF) files"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "pelmarcab " PELMARCAB_VERSION);
    int status = 0;

    pelmarcab::ReadOptions list, test, extract;
    add_read_command(app, "list",
                     "print one line per file entry: size, date, time, attributes, name",
                     pelmarcab::ReadMode::List, list, status);
    add_read_command(
        app, "test",
        "decode every file of the cabinets and the sets that follow them, writing nothing",
        pelmarcab::ReadMode::Test, test, status);
    add_read_command(app, "extract",
                     "extract every file of the cabinets and the sets that follow them",
                     pelmarcab::ReadMode::Extract, extract, status);

    pelmarcab::CreateOptions create;
    auto *cmd =
        app.add_subcommand("create", "write a cabinet (or a set) from files and directories");
    cmd->footer(kCreateNotes);
    cmd->add_option("-o,--output", create.output, "the cabinet to write")
        ->required()
        ->type_name("FILE");
    cmd->add_option("PATH", create.inputs,
                    "files, and directories whose files are stored by their names relative to it");
    cmd->add_option("-T,--files-from", create.files_from,
                    "more paths, one per line (- reads standard input); each is stored under the "
                    "path as written, which must be relative and without ..")
        ->type_name("FILE");
    cmd->add_option("--exclude", create.excludes,
                    "leave out files and directories whose stored name or own name matches GLOB "
                    "(repeatable)")
        ->type_name("GLOB")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("-m,--method", create.method,
                    "mszip (the default, which every reader knows), none, lzx[:15..21] or "
                    "quantum[:10..21]")
        ->type_name("METHOD");
    cmd->add_option("--folder-size", create.folder_size,
                    "start a new folder before this many bytes are exceeded (default 8 MiB; 0: "
                    "one folder)")
        ->type_name("BYTES");
    cmd->add_option("-j,--jobs", create.jobs,
                    "compress this many folders at once (default: one per core); the cabinet is "
                    "the same for any number")
        ->type_name("N");
    cmd->add_option("--mtime", create.mtime,
                    "store TIME as every file's date: @SECONDS since 1970 (UTC) or "
                    "YYYY-MM-DD[ HH:MM[:SS]] (default: $SOURCE_DATE_EPOCH when set, else each "
                    "file's own)")
        ->type_name("TIME");
    cmd->add_option("--name-encoding", create.name_encoding,
                    "write names in this character set (an iconv name such as CP932) instead of "
                    "UTF-8; a name it cannot hold is refused")
        ->type_name("CHARSET");
    cmd->add_option("--cabinet-size", create.cabinet_size,
                    "largest cabinet in bytes (at least about 40000); writes a set when needed")
        ->type_name("BYTES");
    cmd->add_option("--reserve", create.reserve,
                    "header, folder and block reserve sizes, as H,F,D");
    cmd->add_flag("--best", create.best,
                  "lzx: choose matches by their cost in bits: about 7% smaller, half as fast");
    cmd->add_flag(
        "--no-checksum", [&create](int64_t) { create.checksums = false; },
        "write blocks without checksums");
    cmd->add_flag("-q,--quiet", create.quiet, "draw no progress bar on the terminal");
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
