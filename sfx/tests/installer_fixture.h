// Runs the installer in the test process against files in a scratch folder,
// with the scripted front end.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cab/writer/writer.h"
#include "sfx/session.h"
#include "sfx/sfx_writer.h"
#include "sfx/tests/scripted_ui.h"

namespace sfxtest {

// Thrown by the exit handler in place of ending the process.
struct ProcessExit {
    int code;
};

std::vector<uint8_t> read_bytes(const std::string &path);
void write_bytes(const std::string &path, const std::vector<uint8_t> &bytes);
cabwriter::FileEntry file_entry(const std::string &name, const std::string &content,
                                uint16_t attributes = 0x20);
// A stored-method cabinet holding `files` in one folder.
std::vector<uint8_t> make_cabinet(const std::vector<cabwriter::FileEntry> &files);

// A test with a fresh session of its own, bound while it runs: cleared
// records, English texts, UTF-8 paths and the system's removable check.
class SessionTest : public ::testing::Test {
protected:
    sfx::Session session_;
    sfx::SessionScope bound_{session_};
};

class InstallerTest : public SessionTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the self-extracting file "<dir>/setup-sfx" (stub, block, cabinet).
    void write_installer(const std::vector<uint8_t> &cabinet, const sfx::SfxBlock &block);
    // The same with a block holding only `options`.
    void write_installer(const std::vector<cabwriter::FileEntry> &files, const std::string &options);
    // Runs the installer; returns its exit code.
    int run(const std::vector<std::string> &arguments = {});

    std::string path(const std::string &name) const { return dir_ + "/" + name; }
    std::string read_text(const std::string &name) const;

    std::string dir_;  // scratch folder, removed afterwards
    std::string installer_;
    ScriptedUi ui_;
};

}  // namespace sfxtest
