// Runs the installer in the test process against files in a scratch folder,
// with the scripted front end.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sfx/session.h"
#include "sfx/tests/scripted_ui.h"
#include "sfx/tests/test_support.h"

namespace sfxtest {

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
    void write_installer(const std::vector<cabwriter::FileEntry> &files,
                         const std::string &options);
    // Runs the installer; returns its exit code.
    int run(const std::vector<std::string> &arguments = {});

    std::string path(const std::string &name) const { return dir_ + "/" + name; }
    std::string read_text(const std::string &name) const;

    std::string dir_;  // scratch folder, removed afterwards
    std::string installer_;
    ScriptedUi ui_;
};

}  // namespace sfxtest
