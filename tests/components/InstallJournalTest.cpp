#include "components/InstallJournal.h"

#include "components/ZarnDoc.h"
#include "platform/FileLock.h"
#include "platform/RegistrationCapture.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempAppDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;

using Tree = std::map<std::string, std::string>;

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file below `root` with its content, by its '/'-separated relative path.
Tree FilesBelow(const fs::path& root) {
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            tree[fs::relative(entry.path(), root).generic_string()] = bytes.str();
        }
    }
    return tree;
}

// A component folder holding two files a cabinet replaces, one it adds and a user's file it does not bring, with
// the cabinet's three files staged beside their targets and journaled.
class InstallJournalTest : public testing::Test {
protected:
    InstallJournalTest() {
        fs::create_directories(m_app.Path("complist"));
        Write(Component() / "a.ocx", "old a");
        Write(Component() / "sub" / "b.dat", "old b");
        Write(Component() / "user.txt", "the user's own");
        m_old = FilesBelow(Component());
        m_journal.component = "Comp";
        m_journal.installId = InstallJournal::NewInstallId();
        m_journal.installType = "LIB";
        for (const char* name : {"a.ocx", "sub/b.dat", "c.new"}) {
            const fs::path target = Component() / name;
            const fs::path staged = target.string() + ".zarn-stage1";
            Write(staged, std::string("new ") + name);
            m_new[std::string(name)] = std::string("new ") + name;
            EXPECT_TRUE(m_journal.AddFile(m_app.AppDir(), target.string(), staged.string()));
        }
        m_new["user.txt"] = "the user's own";
    }

    fs::path Component() const { return m_app.Path("comp"); }

    // The first `count` renames of `journal`'s swap, done by hand as a killed swap would have left them.
    void SwapSteps(const InstallJournal& journal, std::size_t count) const {
        std::vector<std::pair<std::string, std::string>> steps;
        for (const InstallJournal::File& file : journal.files) {
            if (file.hadPrevious) {
                steps.emplace_back(file.target, file.aside);
            }
            steps.emplace_back(file.staged, file.target);
        }
        for (std::size_t i = 0; i < count && i < steps.size(); ++i) {
            fs::rename(m_app.AppDir() + steps[i].first, m_app.AppDir() + steps[i].second);
        }
    }

    test::TempAppDir m_app;
    test::ScratchRegistry m_registry;
    InstallJournal m_journal;
    Tree m_old;
    Tree m_new;
};

TEST_F(InstallJournalTest, ReadsBackWhatWasWrittenAndRefusesAnyOtherFile) {
    m_journal.state = InstallJournal::State::Swapped;
    m_journal.component = "A name\nover lines: 12:";
    m_journal.files[0].target = "comp/odd\nname 3 x";
    const std::string path = InstallJournal::PathOf(m_app.AppDir(), m_journal.installId);
    ASSERT_EQ(m_journal.Write(path), 0u);
    EXPECT_EQ(InstallJournal::FindAll(m_app.AppDir()), std::vector<std::string>{path});
    const std::optional<InstallJournal> read = InstallJournal::Read(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->component, m_journal.component);
    EXPECT_EQ(read->installId, m_journal.installId);
    EXPECT_EQ(read->installType, "LIB");
    EXPECT_EQ(read->state, InstallJournal::State::Swapped);
    ASSERT_EQ(read->files.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(read->files[i].target, m_journal.files[i].target);
        EXPECT_EQ(read->files[i].staged, m_journal.files[i].staged);
        EXPECT_EQ(read->files[i].aside, m_journal.files[i].aside);
        EXPECT_EQ(read->files[i].hadPrevious, i < 2);
    }

    std::ifstream in(path, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> damaged;
    for (std::size_t length = 0; length < whole.size(); ++length) {
        damaged.push_back(whole.substr(0, length));
    }
    const auto replaced = [&whole](const std::string& from, const std::string& to) {
        std::string text = whole;
        return text.replace(text.find(from), from.size(), to);
    };
    damaged.push_back(replaced("state 7:swapped", "state 7:swapper"));
    damaged.push_back(replaced("zarn-install-journal 1", "zarn-install-journal 2"));
    // Recovery must never move or remove a file outside the application directory.
    const std::string staged = m_journal.files[1].staged;
    const std::string field = "staged " + std::to_string(staged.size()) + ":";
    damaged.push_back(replaced(field + staged, field + "../" + staged.substr(3)));
    damaged.push_back(replaced(field + staged, field + "/" + staged.substr(1)));
    for (const std::string& text : damaged) {
        SCOPED_TRACE(text);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        EXPECT_FALSE(InstallJournal::Read(path));
    }
}

TEST_F(InstallJournalTest, UndoFromAnyPointOfTheSwapGivesThePreviousVersionAndFinishTheNewOne) {
    // Two files put aside and three put in place: every point a kill can leave.
    for (std::size_t done = 0; done <= 5; ++done) {
        SCOPED_TRACE(std::to_string(done) + " renames done");
        SwapSteps(m_journal, done);
        std::string problem;
        EXPECT_EQ(m_journal.Undo(m_app.AppDir(), problem), 1) << problem;
        EXPECT_EQ(FilesBelow(Component()), m_old);
        EXPECT_EQ(m_journal.Undo(m_app.AppDir(), problem), 1) << "a repeated undo, as after a kill during one";
        EXPECT_EQ(FilesBelow(Component()), m_old);
        for (const auto& [name, bytes] : m_new) {
            if (name != "user.txt") {
                Write(Component() / (name + ".zarn-stage1"), bytes);
            }
        }
    }
    std::string failed;
    unsigned long error = 0;
    ASSERT_EQ(m_journal.Swap(m_app.AppDir(), "", failed, error), 1) << failed << " " << error;
    Tree swapped = m_new;
    swapped["a.ocx.zarn-aside-" + m_journal.installId] = "old a";
    swapped["sub/b.dat.zarn-aside-" + m_journal.installId] = "old b";
    EXPECT_EQ(FilesBelow(Component()), swapped);
    std::string problem;
    EXPECT_EQ(m_journal.Finish(m_app.AppDir(), problem), 1) << problem;
    EXPECT_EQ(FilesBelow(Component()), m_new);
}

// A file that cannot be put aside fails the swap, naming it; the undo then puts back whatever the swap had done.
TEST_F(InstallJournalTest, ASwapThatCannotPutAFileAsideNamesItAndIsUndone) {
    Write(m_app.Path(m_journal.files[1].aside), "someone else's file");
    std::string failed;
    unsigned long error = 0;
    EXPECT_EQ(m_journal.Swap(m_app.AppDir(), "", failed, error), 0);
    EXPECT_EQ(failed, m_app.AppDir() + m_journal.files[1].target);
    EXPECT_NE(error, 0u);
    std::string problem;
    EXPECT_EQ(m_journal.Undo(m_app.AppDir(), problem), 1) << problem;
    Tree expected = m_old;
    expected["sub/b.dat.zarn-aside-" + m_journal.installId] = "someone else's file";
    EXPECT_EQ(FilesBelow(Component()), expected);
}

// A start, or a check, finds a journal a kill left: a committed install (a "LIB" journaled committed, a "REG" whose
// registration's marker is in the registry) loses the previous files; any other gets them back.
TEST_F(InstallJournalTest, StartFinishesCommittedInstallsAndUndoesTheOthers) {
    const struct {
        InstallJournal::State state;
        const char* type;
        bool marker;
        bool becomesNew;
    } cases[] = {
        {InstallJournal::State::Staging, "LIB", false, false}, {InstallJournal::State::Staged, "LIB", false, false},
        {InstallJournal::State::Swapped, "LIB", false, false}, {InstallJournal::State::Committed, "LIB", false, true},
        {InstallJournal::State::Swapped, "REG", false, false}, {InstallJournal::State::Swapped, "REG", true, true},
        {InstallJournal::State::Committed, "REG", true, true},
    };
    CZarnDoc doc(m_app.AppDir());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(InstallJournal::StateName(c.state)) + " " + c.type + (c.marker ? " marked" : ""));
        fs::remove_all(Component());
        Write(Component() / "a.ocx", "old a");
        Write(Component() / "sub" / "b.dat", "old b");
        Write(Component() / "user.txt", "the user's own");
        for (const InstallJournal::File& file : m_journal.files) {
            Write(m_app.Path(file.staged), m_new[fs::relative(m_app.Path(file.target), Component()).generic_string()]);
        }
        InstallJournal journal = m_journal;
        journal.installId = InstallJournal::NewInstallId();
        journal.installType = c.type;
        journal.state = c.state;
        for (InstallJournal::File& file : journal.files) {
            file.aside = file.target + ".zarn-aside-" + journal.installId;
        }
        // The staging state lists no files yet; the later ones were killed with the whole swap done.
        if (c.state == InstallJournal::State::Staging) {
            journal.files.clear();
        } else if (c.state != InstallJournal::State::Staged) {
            SwapSteps(journal, 5);
        }
        if (c.marker) {
            platform::RegistrationCapture capture;
            ASSERT_EQ(capture.Begin(), 1);
            ASSERT_EQ(capture.Commit(journal.installId), 1);
        }
        const std::string path = InstallJournal::PathOf(m_app.AppDir(), journal.installId);
        ASSERT_EQ(journal.Write(path), 0u);

        // Not while another process's check holds the update lock: the journal may be its own.
        platform::FileLock other;
        ASSERT_EQ(other.TryLock(doc.GetCheckLockPath()).state, platform::FileLock::State::Held);
        EXPECT_EQ(doc.FinishInterruptedInstalls(), 0);
        EXPECT_TRUE(fs::exists(path));
        other.Unlock();

        // At start, or at the next check that gets the lock.
        if (&c - cases < 4) {
            EXPECT_EQ(doc.FinishInterruptedInstalls(), 1);
        } else {
            EXPECT_EQ(doc.LoadComponentList(), 1);
        }
        Tree expected = c.becomesNew ? m_new : m_old;
        if (c.state == InstallJournal::State::Staging) {
            // What the expander was writing is swept with every other leftover of a killed process.
            for (const InstallJournal::File& file : m_journal.files) {
                expected[fs::relative(m_app.Path(file.staged), Component()).generic_string()] =
                    m_new[fs::relative(m_app.Path(file.target), Component()).generic_string()];
            }
        }
        EXPECT_EQ(FilesBelow(Component()), expected);
        EXPECT_FALSE(fs::exists(path));
        EXPECT_EQ(platform::RegistrationCapture::Settle(journal.installId), 0) << "the marker goes with the journal";
    }

    // A journal that cannot be read is left for someone to look at, and nothing is touched.
    const std::string unreadable = InstallJournal::PathOf(m_app.AppDir(), "unreadable");
    std::ofstream(unreadable) << "zarn-install-journal 1\n";
    const Tree before = FilesBelow(Component());
    EXPECT_EQ(doc.FinishInterruptedInstalls(), 0);
    EXPECT_TRUE(fs::exists(unreadable));
    EXPECT_EQ(FilesBelow(Component()), before);
}

} // namespace
} // namespace zarn
