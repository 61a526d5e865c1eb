// SPDX-License-Identifier: GPL-3.0-or-later
#include "ControllerFixture.h"
#include "ReferenceCipher.h"
#include "platform/Files.h"
#include "store/ServiceListFormat.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

using servicelist::Record;

namespace {

const char* const kListFile = ".QuillboreSSH.lst";
const char* const kWelcome =
    "Thank you for installing my app! If you are not using the auto fill method of ssh-askpass "
    "then do not type your actual password as you will be prompted to input your password at "
    "the time of connection. To learn about the ssh-askpass options please see our website.";

std::string login() {
    const char* name = std::getenv("QB_TEST_LOGIN_NAME");
    return name ? name : "";
}

std::string onDisk(const std::string& plain) {
    return referenceEncipher(plain, login().size());
}

std::string record(const std::string& a, const std::string& b, const std::string& c,
                   const std::string& d, const std::string& e) {
    return a + '\x1f' + b + '\x1f' + c + '\x1f' + d + '\x1f' + e;
}

mode_t fileMode(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 0777;
}

class ServiceListFile : public ::testing::Test {
protected:
    void SetUp() override { ControllerFixture::removeHomeFile(kListFile); }
    void TearDown() override { ControllerFixture::removeHomeFile(kListFile); }

    // The start sequence's share: an empty list, then the file.
    void load() {
        f.controller.theServiceList.emplace();
        f.controller.loadUserData();
    }
    ServiceEntry entry(const Record& r, const std::string& status = "Idle...") {
        auto tunnel = std::make_shared<SSHTunnel>(f.runLoop, f.launcher, f.log);
        return ServiceEntry{r.server,   r.listenPort,        status, r.user,
                            r.password, r.tunnelDescription, tunnel};
    }
    std::string listPath() const { return ControllerFixture::home() + "/" + kListFile; }

    ControllerFixture f;
};

} // namespace

// --- The plain text ------------------------------------------------------------------------

TEST(ServiceListFormat, OneRecordHasNoLineEnd) {
    EXPECT_EQ(servicelist::encode({{"h", "8080", "u", "p", "SOCKS"}}),
              record("h", "8080", "u", "p", "SOCKS"));
    EXPECT_EQ(servicelist::encode({}), "");
}

TEST(ServiceListFormat, RecordsAreJoinedByCrLf) {
    std::vector<Record> three{{"a", "1", "u", "p", "SOCKS"},
                              {"b", "2", "v", "q", "127.0.0.1:80"},
                              {"c", "3", "w", "", "Reverse Tunnel: 127.0.0.1:22"}};
    const std::string plain = servicelist::encode(three);
    EXPECT_EQ(plain, record("a", "1", "u", "p", "SOCKS") + "\r\n" +
                         record("b", "2", "v", "q", "127.0.0.1:80") + "\r\n" +
                         record("c", "3", "w", "", "Reverse Tunnel: 127.0.0.1:22"));
    EXPECT_EQ(servicelist::decode(plain).records, three);
}

TEST(ServiceListFormat, ExtraFieldsAreDroppedAndShortRecordsSkipped) {
    const std::string plain = record("a", "1", "u", "p", "SOCKS") + "\x1f" + "extra\x1fmore" +
                              "\r\n" + "b\x1f" + "2\x1fv" + "\r\n" +
                              record("c", "3", "w", "q", "x:1");
    auto decoded = servicelist::decode(plain);
    ASSERT_EQ(decoded.records.size(), 2u);
    EXPECT_EQ(decoded.records[0], (Record{"a", "1", "u", "p", "SOCKS"}));
    EXPECT_EQ(decoded.records[1], (Record{"c", "3", "w", "q", "x:1"}));
    EXPECT_EQ(decoded.skippedRecords, std::vector<std::size_t>{2});
}

TEST(ServiceListFormat, TextWithoutSeparatorsIsOneDamagedRecord) {
    EXPECT_TRUE(servicelist::decode("").records.empty());
    EXPECT_TRUE(servicelist::decode("").skippedRecords.empty());
    auto decoded = servicelist::decode("just some text\n\rno separators");
    EXPECT_TRUE(decoded.records.empty());
    EXPECT_EQ(decoded.skippedRecords.size(), 1u);
}

TEST(ServiceListFormat, StorableFieldsRoundTrip) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 127), length(0, 12), count(1, 6);
    for (int round = 0; round < 500; ++round) {
        std::vector<Record> records(static_cast<std::size_t>(count(rng)));
        for (Record& r : records)
            for (std::string* field :
                 {&r.server, &r.listenPort, &r.user, &r.password, &r.tunnelDescription}) {
                do {
                    field->clear();
                    for (int n = length(rng); n > 0; --n)
                        field->push_back(static_cast<char>(byte(rng)));
                } while (!servicelist::isStorableField(*field));
            }
        auto decoded = servicelist::decode(servicelist::encode(records));
        ASSERT_EQ(decoded.records, records) << "round " << round;
        ASSERT_TRUE(decoded.skippedRecords.empty());
    }
}

TEST(ServiceListFormat, FieldsThatCannotBeStored) {
    EXPECT_TRUE(servicelist::isStorableField("p a$$ w0rd!\"'\\;:,"));
    EXPECT_TRUE(servicelist::isStorableField("ends in CR\r"));
    EXPECT_FALSE(servicelist::isStorableField("a\x1f"
                                              "b"));
    EXPECT_FALSE(servicelist::isStorableField("a\r\nb"));
    EXPECT_FALSE(servicelist::isStorableField("caf\xc3\xa9"));
}

TEST(ServiceListFormat, HostileTextNeverFails) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        std::string junk(static_cast<std::size_t>(rng() % 4096), '\0');
        for (char& c : junk)
            c = static_cast<char>(byte(rng));
        auto decoded = servicelist::decode(junk);
        // Whatever loads writes back as records of exactly five fields.
        auto again = servicelist::decode(servicelist::encode(decoded.records));
        EXPECT_EQ(again.records.size(), decoded.records.size());
    }
    EXPECT_EQ(servicelist::decode(std::string(8 << 20, 'x')).skippedRecords.size(), 1u);
}

// --- Loading ---------------------------------------------------------------------------------

TEST_F(ServiceListFile, FirstStartWelcomesAndCreatesNoFile) {
    load();
    ASSERT_EQ(f.ui.mainWindow.alerts.size(), 1u);
    EXPECT_EQ(f.ui.mainWindow.alerts[0].informativeText, kWelcome);
    EXPECT_EQ(f.ui.mainWindow.alerts[0].messageText, "Hey , " + login());
    EXPECT_TRUE(f.controller.theServiceList->empty());
    EXPECT_EQ(f.ui.serviceList.reloadCount, 0);
    f.ui.serviceList.reloadData(); // an empty list is not written
    EXPECT_FALSE(files::readWhole(listPath()).has_value());
}

TEST_F(ServiceListFile, EmptyFileWelcomes) {
    ControllerFixture::writeHomeFile(kListFile, "");
    load();
    EXPECT_EQ(f.ui.mainWindow.alertTexts(), std::vector<std::string>{kWelcome});
}

TEST_F(ServiceListFile, EntriesLoadInFileOrderIdleWithTheirOwnTunnels) {
    const std::string plain = record("one.example", "8080", "alice", "p w", "SOCKS") + "\r\n" +
                              record("two.example", "9000", "bob", "", "127.0.0.1:80");
    ControllerFixture::writeHomeFile(kListFile, onDisk(plain));
    load();

    const auto& list = *f.controller.theServiceList;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].server, "one.example");
    EXPECT_EQ(list[0].listenPort, "8080");
    EXPECT_EQ(list[0].user, "alice");
    EXPECT_EQ(list[0].password, "p w");
    EXPECT_EQ(list[0].tunnelDescription, "SOCKS");
    EXPECT_EQ(list[1].server, "two.example");
    for (const auto& e : list) {
        EXPECT_EQ(e.status, "Idle...");
        ASSERT_TRUE(e.service);
        EXPECT_FALSE(e.service->isRunning());
    }
    EXPECT_NE(list[0].service, list[1].service);
    EXPECT_EQ(list[1].service->userName(), "bob");
    EXPECT_EQ(list[1].service->server(), "two.example");
    EXPECT_EQ(list[1].service->listenPort(), "9000");
    EXPECT_EQ(list[1].service->tunnelMode(), "127.0.0.1:80");
    EXPECT_EQ(list[0].service->password(), "p w");
    EXPECT_TRUE(f.ui.mainWindow.alerts.empty());
    EXPECT_EQ(f.ui.serviceList.reloadCount, 1);
    EXPECT_TRUE(f.launcher.children.empty()); // nothing is started
}

TEST_F(ServiceListFile, LoadingAppendsToTheList) {
    ControllerFixture::writeHomeFile(kListFile, onDisk(record("b", "2", "u", "p", "SOCKS")));
    f.controller.theServiceList.emplace();
    f.controller.theServiceList->push_back(entry({"a", "1", "u", "p", "SOCKS"}));
    f.controller.loadUserData();
    ASSERT_EQ(f.controller.theServiceList->size(), 2u);
    EXPECT_EQ((*f.controller.theServiceList)[0].server, "a");
    EXPECT_EQ((*f.controller.theServiceList)[1].server, "b");
}

// --- Round trips -----------------------------------------------------------------------------

TEST_F(ServiceListFile, LoadingRewritesTheSameBytes) {
    for (const std::string& plain :
         {record("h", "8080", "u", "p", "SOCKS"),
          record("a.example", "1080", "al ice", " sp ace ", "SOCKS") + "\r\n" +
              record("10.0.0.9", "8080,8081", "bob", "!@#$%^&*()_+-=[]{};'\\:\"|<>?,./`~",
                     "127.0.0.1:80") +
              "\r\n" + record("c", "2222", "carol", "0123456789", "Reverse: 127.0.0.1:22")}) {
        const std::string bytes = onDisk(plain);
        ControllerFixture::writeHomeFile(kListFile, bytes);
        f.controller.theServiceList.reset();
        load();
        EXPECT_EQ(ControllerFixture::readHomeFile(kListFile), bytes);
        f.ui.serviceList.reloadData();
        EXPECT_EQ(ControllerFixture::readHomeFile(kListFile), bytes);
    }
}

TEST_F(ServiceListFile, SavedBytesAreTheEncipheredRecordsInListOrder) {
    f.controller.theServiceList.emplace();
    f.controller.theServiceList->push_back(entry({"s1", "1", "u1", "pw one", "SOCKS"}));
    f.controller.theServiceList->push_back(
        entry({"s2", "2", "u2", "pw,two", "Reverse Tunnel: 127.0.0.1:22"}, "Running..."));
    f.controller.theServiceList->push_back(entry({"s3", "3", "u3", "", "h:3"}, "Failed..."));
    f.controller.markListChanged();
    f.ui.serviceList.reloadData();

    const std::string expected =
        onDisk(record("s1", "1", "u1", "pw one", "SOCKS") + "\r\n" +
               record("s2", "2", "u2", "pw,two", "Reverse Tunnel: 127.0.0.1:22") + "\r\n" +
               record("s3", "3", "u3", "", "h:3"));
    EXPECT_EQ(ControllerFixture::readHomeFile(kListFile), expected);
    EXPECT_EQ(fileMode(listPath()), 0600);
}

// A reload whose bytes equal the file leaves the very same file (no write, no fsync); a
// changed list still replaces it.
TEST_F(ServiceListFile, AnIdenticalSaveLeavesTheFileAndAChangedOneReplacesIt) {
    const std::string bytes = onDisk(record("h", "1", "u", "p", "SOCKS"));
    ControllerFixture::writeHomeFile(kListFile, bytes);
    ASSERT_EQ(::chmod(listPath().c_str(), 0600), 0);
    struct stat before {};
    ASSERT_EQ(::stat(listPath().c_str(), &before), 0);
    load(); // the load's reload saves the same bytes
    ASSERT_EQ(f.controller.theServiceList->size(), 1u);
    // A status change reloads the table too.
    auto& first = (*f.controller.theServiceList)[0];
    first =
        entry({first.server, first.listenPort, first.user, first.password, first.tunnelDescription},
              "Running...");
    f.ui.serviceList.reloadData();
    struct stat after {};
    ASSERT_EQ(::stat(listPath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(ControllerFixture::readHomeFile(kListFile), bytes);

    f.controller.theServiceList->push_back(entry({"h2", "2", "u", "p", "SOCKS"}));
    f.controller.markListChanged();
    f.ui.serviceList.reloadData();
    struct stat changed {};
    ASSERT_EQ(::stat(listPath().c_str(), &changed), 0);
    EXPECT_NE(changed.st_ino, before.st_ino);
    EXPECT_EQ(ControllerFixture::readHomeFile(kListFile),
              onDisk(record("h", "1", "u", "p", "SOCKS") + "\r\n" +
                     record("h2", "2", "u", "p", "SOCKS")));
    EXPECT_EQ(fileMode(listPath()), 0600);
}

TEST_F(ServiceListFile, ExtraFieldsAreGoneAfterTheNextSave) {
    ControllerFixture::writeHomeFile(
        kListFile, onDisk(record("h", "1", "u", "p", "SOCKS") + "\x1f" + "old\x1fjunk"));
    load();
    ASSERT_EQ(f.controller.theServiceList->size(), 1u);
    EXPECT_EQ(ControllerFixture::readHomeFile(kListFile),
              onDisk(record("h", "1", "u", "p", "SOCKS")));
}

TEST_F(ServiceListFile, AnOpenFileBecomesOwnerOnly) {
    ControllerFixture::writeHomeFile(kListFile, onDisk(record("h", "1", "u", "p", "SOCKS")));
    ASSERT_EQ(::chmod(listPath().c_str(), 0644), 0);
    load();
    EXPECT_EQ(fileMode(listPath()), 0600);
}

// --- Damaged and hostile files ---------------------------------------------------------------

TEST_F(ServiceListFile, ShortRecordsAreSkippedWithOneLogLineEach) {
    const std::string plain = record("a", "1", "u", "secret-a", "SOCKS") + "\r\n" + "b\x1f" +
                              "2\x1fu\x1fsecret-b" + "\r\n" + record("c", "3", "w", "q", "x:1");
    ControllerFixture::writeHomeFile(kListFile, onDisk(plain));
    load();
    ASSERT_EQ(f.controller.theServiceList->size(), 2u);
    EXPECT_EQ((*f.controller.theServiceList)[1].server, "c");
    ASSERT_EQ(f.log.lines.size(), 1u);
    EXPECT_NE(f.log.lines[0].find("2"), std::string::npos);
    EXPECT_EQ(f.log.lines[0].find("secret-b"), std::string::npos);
}

TEST_F(ServiceListFile, HostileFilesLoadWithoutFailing) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::string> contents{std::string(4 << 20, 'q'), // one huge line
                                      "no line ends \x1f at \x1f all", std::string(10000, '\x1f'),
                                      std::string(20000, '\r'), "\r\n\r\n\r\n"};
    for (int n = 0; n < 20; ++n) {
        std::string junk(static_cast<std::size_t>(rng() % 8192), '\0');
        for (char& c : junk)
            c = static_cast<char>(byte(rng));
        contents.push_back(junk);
    }
    for (const std::string& content : contents) {
        ControllerFixture::writeHomeFile(kListFile, content);
        f.controller.theServiceList.reset();
        load();
        for (const auto& e : *f.controller.theServiceList)
            EXPECT_EQ(e.status, "Idle...");
    }
}

// --- Empty lists -----------------------------------------------------------------------------

TEST_F(ServiceListFile, AnEmptyListLeavesTheFileAlone) {
    const std::string bytes = onDisk(record("h", "1", "u", "p", "SOCKS"));
    ControllerFixture::writeHomeFile(kListFile, bytes);
    f.controller.theServiceList.emplace();
    f.controller.saveUserData();
    f.ui.serviceList.reloadData();
    EXPECT_EQ(ControllerFixture::readHomeFile(kListFile), bytes);
}

TEST_F(ServiceListFile, RemovingTheLastServiceEmptiesTheFile) {
    ControllerFixture::writeHomeFile(kListFile, onDisk(record("h", "1", "u", "p", "SOCKS")));
    load();
    // What removeFromList does with the last entry.
    f.controller.theServiceList->clear();
    f.controller.listEmptiedByUser = true;
    f.controller.markListChanged();
    f.ui.serviceList.reloadData();
    EXPECT_TRUE(files::readWhole(listPath()).has_value());
    EXPECT_EQ(ControllerFixture::readHomeFile(kListFile), "");
    EXPECT_EQ(fileMode(listPath()), 0600);

    ControllerFixture next; // the next start welcomes again
    next.controller.theServiceList.emplace();
    next.controller.loadUserData();
    EXPECT_EQ(next.ui.mainWindow.alertTexts(), std::vector<std::string>{kWelcome});
}

TEST_F(ServiceListFile, AddingAgainEndsTheEmptiedState) {
    f.controller.theServiceList.emplace();
    f.controller.listEmptiedByUser = true;
    f.controller.theServiceList->push_back(entry({"h", "1", "u", "p", "SOCKS"}));
    f.controller.markListChanged();
    f.ui.serviceList.reloadData();
    EXPECT_FALSE(f.controller.listEmptiedByUser);
    EXPECT_EQ(ControllerFixture::readHomeFile(kListFile),
              onDisk(record("h", "1", "u", "p", "SOCKS")));
}
