// What the installer's tests (with GoogleTest and the Qt window tests)
// share: files, cabinet entries, self-extracting files around a small stub,
// and installer runs that end by throwing instead of ending the process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cab/writer/writer.h"
#include "sfx/installer.h"
#include "sfx/session.h"
#include "sfx/sfx_writer.h"

namespace sfxtest {

std::vector<uint8_t> read_bytes(const std::string &path);
void write_bytes(const std::string &path, const std::vector<uint8_t> &bytes);

cabwriter::FileEntry file_entry(const std::string &name, const std::string &content,
                                uint16_t attributes = 0x20);
// A stored-method cabinet holding `files` in one folder.
std::vector<uint8_t> make_cabinet(const std::vector<cabwriter::FileEntry> &files);

// Writes a self-extracting file at `path`: a four-byte stub, the block and
// the cabinet.
void write_installer_file(const std::string &path, const std::vector<uint8_t> &cabinet,
                          const sfx::SfxBlock &block);

// Thrown by the exit handler of use_test_front_end in place of ending the
// process.
struct ProcessExit {
    int code;
};

// Points `session` at `ui` and makes every end of the process throw a
// ProcessExit.
void use_test_front_end(sfx::Session &session, sfx::Ui &ui);

// Runs the installer in `session`; returns its exit code.
int run_installer_to_exit(sfx::Session &session, const sfx::StartupValues &startup);

}  // namespace sfxtest
