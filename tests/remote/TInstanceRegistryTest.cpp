#include "TInstanceRegistry.h"
#include "TestSupport.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string Identity = "/opt/show/trelmo";

std::string ReadBlock(const std::string& folder) {
    std::ifstream file(folder + "/registry", std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

uint16_t BlockLimit(const std::string& block) {
    return qFromLittleEndian<uint16_t>(block.data());
}

uint16_t BlockCount(const std::string& block) {
    return qFromLittleEndian<uint16_t>(block.data() + 2);
}

void WriteBlock(const std::string& folder, uint16_t limit, uint16_t count,
                const std::vector<uint32_t>& ids) {
    std::string block(TInstanceRegistry::BlockSize, '\0');
    qToLittleEndian(limit, block.data());
    qToLittleEndian(count, block.data() + 2);
    for (size_t i = 0; i < ids.size(); ++i)
        qToLittleEndian(ids[i], block.data() + 4 + 4 * i);
    std::fstream file(folder + "/registry", std::ios::binary | std::ios::in | std::ios::out);
    file.write(block.data(), static_cast<std::streamsize>(block.size()));
}

std::vector<uint32_t> Registered(TInstanceRegistry& registry) {
    std::vector<uint32_t> ids;
    for (int32_t i = 0; i < registry.RegisteredCount(); ++i)
        ids.push_back(registry.ProcessIdAt(i));
    return ids;
}

// A child that registers, reports 'r', unregisters on 'u' and reports 'd', and ends on 'e'.
TChildProcess::TBody RegisteringChild() {
    return [](TChildProcess& self) {
        TInstanceRegistry registry(Identity, TestRuntime());
        registry.RegisterInstance(65535);
        self.Send('r');
        for (;;) {
            const std::optional<char> command = self.Receive(std::chrono::seconds(30));
            if (command == 'u') {
                registry.UnregisterInstance();
                self.Send('d');
            } else {
                return 0;
            }
        }
    };
}

uint32_t Pid(const TChildProcess& child) {
    return static_cast<uint32_t>(child.Pid());
}

} // namespace

TEST(TInstanceRegistry, FirstRegistrationStartsFromAnEmptyBlockAtPositionZero) {
    TTempRuntimeDir dir;
    TInstanceRegistry registry(Identity, TestRuntime());
    const uint32_t own = registry.OwnProcessId();
    EXPECT_EQ(registry.RegisteredCount(), 0);
    EXPECT_EQ(registry.PositionOf(own), -1);
    EXPECT_TRUE(registry.RegisterInstance(65535));
    const std::string block = ReadBlock(registry.Folder());
    ASSERT_EQ(block.size(), TInstanceRegistry::BlockSize);
    EXPECT_EQ(BlockLimit(block), 65535);
    EXPECT_EQ(BlockCount(block), 1);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(block.data() + 4), own);
    EXPECT_EQ(registry.PositionOf(own), 0);
    EXPECT_EQ(registry.ProcessIdAt(0), own);
    EXPECT_EQ(registry.ProcessIdAt(1), 0u);
    EXPECT_EQ(registry.ProcessIdAt(-1), 0u);

    struct stat info {};
    ASSERT_EQ(::stat(registry.Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(registry.Folder().rfind(dir.Path().string(), 0), 0u);
}

TEST(TInstanceRegistry, ASecondProcessStandsAtPositionOneUntilItUnregisters) {
    TTempRuntimeDir dir;
    TInstanceRegistry registry(Identity, TestRuntime());
    registry.RegisterInstance(65535);
    TChildProcess second(RegisteringChild());
    ASSERT_EQ(second.Receive(), 'r');
    EXPECT_EQ(Registered(registry), (std::vector<uint32_t>{registry.OwnProcessId(), Pid(second)}));
    EXPECT_EQ(registry.PositionOf(Pid(second)), 1);
    second.Send('u');
    ASSERT_EQ(second.Receive(), 'd');
    EXPECT_EQ(Registered(registry), std::vector<uint32_t>{registry.OwnProcessId()});
}

TEST(TInstanceRegistry, UnregisteringKeepsTheOrderOfTheOthers) {
    TTempRuntimeDir dir;
    TInstanceRegistry registry(Identity, TestRuntime());
    TChildProcess a(RegisteringChild());
    ASSERT_EQ(a.Receive(), 'r');
    TChildProcess b(RegisteringChild());
    ASSERT_EQ(b.Receive(), 'r');
    TChildProcess c(RegisteringChild());
    ASSERT_EQ(c.Receive(), 'r');
    EXPECT_EQ(Registered(registry), (std::vector<uint32_t>{Pid(a), Pid(b), Pid(c)}));

    b.Send('u');
    ASSERT_EQ(b.Receive(), 'd');
    EXPECT_EQ(Registered(registry), (std::vector<uint32_t>{Pid(a), Pid(c)}));
    a.Send('u');
    ASSERT_EQ(a.Receive(), 'd');
    EXPECT_EQ(Registered(registry), (std::vector<uint32_t>{Pid(c)}));
    // Not registered: nothing changes.
    a.Send('u');
    ASSERT_EQ(a.Receive(), 'd');
    registry.UnregisterInstance();
    EXPECT_EQ(Registered(registry), (std::vector<uint32_t>{Pid(c)}));
}

TEST(TInstanceRegistry, RegistrationBeyondTheLimitIsStoredButNotAccepted) {
    TTempRuntimeDir dir;
    TInstanceRegistry registry(Identity, TestRuntime());
    EXPECT_TRUE(registry.RegisterInstance(1));
    TChildProcess second([](TChildProcess& self) {
        TInstanceRegistry mine(Identity, TestRuntime());
        self.Send(mine.RegisterInstance(1) ? 'a' : 'n');
        self.Receive(std::chrono::seconds(30));
        return 0;
    });
    EXPECT_EQ(second.Receive(), 'n');
    EXPECT_EQ(registry.RegisteredCount(), 2);
    EXPECT_EQ(BlockLimit(ReadBlock(registry.Folder())), 1);
}

TEST(TInstanceRegistry, EntriesOfKilledProcessesStayWhileTheBlockLivesAndVanishWithIt) {
    TTempRuntimeDir dir;
    std::optional<TInstanceRegistry> registry;
    registry.emplace(Identity, TestRuntime());
    const std::string folder = registry->Folder();
    TChildProcess killed(RegisteringChild());
    ASSERT_EQ(killed.Receive(), 'r');
    killed.Kill();
    ASSERT_NE(killed.Wait(), -1);
    EXPECT_EQ(Registered(*registry), std::vector<uint32_t>{Pid(killed)});

    TChildProcess alive(RegisteringChild());
    ASSERT_EQ(alive.Receive(), 'r');
    registry.reset();
    registry.emplace(Identity, TestRuntime());
    EXPECT_EQ(registry->RegisteredCount(), 2) << "still held by a living process";

    alive.Kill();
    ASSERT_NE(alive.Wait(), -1);
    registry.reset();
    // Every holder has ended, two of them by a kill: the next opener starts empty.
    registry.emplace(Identity, TestRuntime());
    EXPECT_EQ(registry->RegisteredCount(), 0);
    EXPECT_EQ(BlockLimit(ReadBlock(folder)), 0);
}

TEST(TInstanceRegistry, AFullBlockDropsEndedProcessesAndNeverGrows) {
    // Beyond the largest pid_max, so no such process exists.
    const uint32_t ended = 4194304 + 100;
    struct Case {
        const char* name;
        uint16_t count;
        std::vector<uint32_t> ids;
        bool accepted;
        std::vector<uint32_t> expectedStart;
        int32_t expectedCount;
    };
    std::vector<uint32_t> mostlyEnded(TInstanceRegistry::Capacity, ended);
    mostlyEnded[100] = 1;
    const std::vector<uint32_t> allAlive(TInstanceRegistry::Capacity, 1);
    const Case cases[] = {
        {"ended entries dropped", 257, mostlyEnded, true, {1, uint32_t(::getpid())}, 2},
        {"all alive", 257, allAlive, false, {1, 1}, 257},
        {"count beyond capacity", 60000, allAlive, false, {1, 1}, 257},
    };
    for (const Case& c : cases) {
        TTempRuntimeDir dir;
        TInstanceRegistry registry(Identity, TestRuntime());
        WriteBlock(registry.Folder(), 65535, c.count, c.ids);
        EXPECT_EQ(registry.RegisterInstance(65535), c.accepted) << c.name;
        EXPECT_EQ(registry.RegisteredCount(), c.expectedCount) << c.name;
        EXPECT_EQ(registry.ProcessIdAt(0), c.expectedStart[0]) << c.name;
        EXPECT_EQ(registry.ProcessIdAt(1), c.expectedStart[1]) << c.name;
        EXPECT_EQ(fs::file_size(registry.Folder() + "/registry"), TInstanceRegistry::BlockSize);
    }
}

TEST(TInstanceRegistry, OtherExecutablesHaveTheirOwnRegistry) {
    TTempRuntimeDir dir;
    TInstanceRegistry show(Identity, TestRuntime());
    TInstanceRegistry backup("/opt/backup/trelmo", TestRuntime());
    TInstanceRegistry upper("/OPT/SHOW/TRELMO", TestRuntime());
    show.RegisterInstance(65535);
    EXPECT_NE(show.Folder(), backup.Folder());
    EXPECT_NE(show.Folder(), upper.Folder());
    EXPECT_EQ(backup.RegisteredCount(), 0);
    EXPECT_EQ(upper.RegisteredCount(), 0);
    EXPECT_EQ(show.RegisteredCount(), 1);
}

TEST(TInstanceRegistry, AFolderOthersCanEnterIsRefused) {
    TTempRuntimeDir dir;
    const std::string folder = TInstanceRegistry::FolderOf(Identity, TestRuntime());
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    try {
        TInstanceRegistry registry(Identity, TestRuntime());
        FAIL() << "opened a registry in a folder others can enter";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("not a private folder"), std::string::npos)
            << e.what();
    }
}

TEST(TInstanceRegistry, IdentityIsTheResolvedExecutablePath) {
    EXPECT_EQ(TInstanceRegistry::ExecutableIdentity(), fs::canonical("/proc/self/exe").string());
}
