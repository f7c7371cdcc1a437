// list, test and extract: walk each cabinet given (and, for test and
// extract, the set that follows it) through the engine with POSIX callbacks.
// A file that is no cabinet is searched for cabinets inside it; the folders
// of a cabinet are decoded in parallel, each by a walk of its own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cab/cab.h"
#include "cab/format.h"
#include "cab/writer/ordered_work.h"
#include "sfx/platform.h"
#include "tools/pelmarcab/cabinet_walk.h"
#include "tools/pelmarcab/commands.h"
#include "tools/pelmarcab/file_host.h"
#include "tools/pelmarcab/jobs.h"
#include "tools/pelmarcab/listing.h"
#include "tools/pelmarcab/progress.h"
#include "tools/pelmarcab/scan.h"
#include "tools/pelmarcab/selection.h"
#include "tools/pelmarcab/terminal.h"

namespace pelmarcab {
namespace {

// The cabinets inside `file` when it does not begin with one; empty when it
// does, or when none is found (the engine then says what is wrong).
std::vector<FoundCabinet> embedded_cabinets(const std::string &file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    uint8_t signature[sizeof cab::kSignature] = {};
    const bool starts_with_cabinet =
        ::read(fd, signature, sizeof signature) == static_cast<ssize_t>(sizeof signature) &&
        std::memcmp(signature, cab::kSignature, sizeof signature) == 0;
    auto found = starts_with_cabinet ? std::vector<FoundCabinet>{} : find_cabinets(fd);
    ::close(fd);
    return found;
}

// One cabinet argument of list, test or extract.
class Reader {
public:
    Reader(const ReadOptions &options, const FileNames &names, const std::string &cabinet,
           CabinetsRead &read)
        : run_(options, names, cabinet, read), options_(options) {}
    ~Reader() {
        if (run_.root != -1) ::close(run_.root);
    }
    int run();

private:
    bool walk_set();
    bool copy_cabinet(const std::string &name, std::string &next);
    unsigned jobs() const;

    sfx::platform::PlatformState platform_;
    RunShared run_;
    const ReadOptions &options_;
};

unsigned Reader::jobs() const {
    // Listing decodes nothing; standard output takes the files, and -v's
    // lines name them, in table order.
    if (options_.mode == ReadMode::List || options_.to_stdout || options_.verbose) return 1;
    return options_.jobs > 0 ? options_.jobs : available_cores();
}

// Walks one cabinet of the set: all folders in one walk, or one walk per
// folder on the job pool, each in its own engine context.
bool Reader::copy_cabinet(const std::string &name, std::string &next) {
    CabinetWalk first(run_, CabinetWalk::kEveryFolder);
    const uint16_t folders = jobs() > 1 ? first.folder_count(name) : 0;
    if (folders < 2 || first.names_repeat_across_folders(name)) {
        const bool ok = first.copy(name);
        next = first.next_in_set();
        return ok;
    }
    cabwriter::OrderedWork<bool> work(folders, jobs(), [&](size_t folder) {
        std::unique_ptr<EmbeddedScope> embedded;
        if (!run_.embedded_path.empty())
            embedded = std::make_unique<EmbeddedScope>(run_.embedded_path, run_.embedded_start);
        CabinetWalk walk(run_, static_cast<int>(folder));
        const bool ok = walk.copy(name);
        if (folder == 0) next = walk.next_in_set();
        return ok;
    });
    bool ok = true;
    for (size_t folder = 0; folder < folders; ++folder) ok = work.take(folder) && ok;
    return ok;
}

bool Reader::walk_set() {
    std::unique_ptr<EmbeddedScope> embedded;
    if (!run_.embedded_path.empty())
        embedded = std::make_unique<EmbeddedScope>(run_.embedded_path, run_.embedded_start);
    // The bar needs the set's total, which takes a walk of the file tables.
    const bool bar_drawn = options_.mode != ReadMode::List && !options_.quiet &&
                           !options_.verbose && ::isatty(STDERR_FILENO);
    const uint64_t total = bar_drawn ? CabinetWalk(run_).count_set(run_.where.name) : 0;
    auto bar = Progress::on_stderr(run_.cabinet, total, !bar_drawn);
    run_.bar = &bar;
    std::string name = run_.where.name;
    bool ok = true;
    for (int guard = 0; guard < 65536; ++guard) {
        std::string next;
        ok = copy_cabinet(name, next);
        if (!ok || options_.mode == ReadMode::List || options_.single || next.empty()) break;
        name = next;
    }
    bar.finish();
    run_.bar = nullptr;
    return ok;
}

int Reader::run() {
    const sfx::platform::StateScope bound(platform_);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    run_.file_mode = 0666 & ~mask;

    if (options_.mode == ReadMode::Extract && !options_.to_stdout) {
        ::mkdir(options_.directory.c_str(), 0777);
        run_.root = ::open(options_.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (run_.root < 0) {
            run_.report(options_.directory, std::strerror(errno));
            return 1;
        }
    }

    const auto found = embedded_cabinets(run_.cabinet);
    if (found.empty()) return walk_set() && !run_.failed ? 0 : 1;
    run_.embedded_path = run_.where.path + run_.where.name;
    bool ok = true;
    for (const FoundCabinet &cabinet : found) {
        if (options_.mode == ReadMode::List)
            std::printf("cabinet at offset %u (%u bytes):\n", cabinet.offset, cabinet.size);
        else if (options_.verbose)
            std::fprintf(run_.notes, "%s: cabinet at offset %u\n", printable(run_.cabinet).c_str(),
                         cabinet.offset);
        run_.embedded_start = cabinet.offset;
        ok = walk_set() && ok;
    }
    return ok && !run_.failed ? 0 : 1;
}

}  // namespace

int read_cabinets(const ReadOptions &options) {
    if (options.mode == ReadMode::List && (options.verbose || options.json))
        return describe_cabinets(options);
    const FileNames names(options);
    int status = 0;
    CabinetsRead read;
    for (const std::string &cabinet : options.cabinets) {
        if (options.mode != ReadMode::List && read.contains(cabinet)) {
            if (!options.quiet) print_failure(cabinet, "skipped: already read with its set");
            continue;
        }
        if (options.mode == ReadMode::List && options.cabinets.size() > 1)
            print_list_heading(cabinet, &cabinet == &options.cabinets.front());
        Reader reader(options, names, cabinet, read);
        if (reader.run() != 0) status = 1;
    }
    return status;
}

}  // namespace pelmarcab
