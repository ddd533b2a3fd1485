#pragma once

// Helpers of the tests that launch the built program and the probe as separate processes.
#include "TInstanceRegistry.h"

#include <QProcess>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// The program copied into a folder of its own, which makes it its own executable: bin/trelmo,
// with the application library of the build in lib/trelmo beside it, as installed.
class TCopy {
public:
    explicit TCopy(const char* program) {
        std::string pattern = (fs::temp_directory_path() / "trelmo-copy-XXXXXX").string();
        FTop = ::mkdtemp(pattern.data());
        FDir = FTop / "bin";
        FExe = FDir / "trelmo";
        fs::create_directory(FDir);
        fs::copy_file(program, FExe);
        fs::create_directory_symlink(fs::canonical(program).parent_path().parent_path() / "lib",
                                     FTop / "lib");
        FFolder = TInstanceRegistry::FolderOf(FExe.string());
    }
    ~TCopy() {
        std::error_code ec;
        fs::remove_all(FFolder, ec);
        fs::remove_all(FTop, ec);
    }
    TCopy(const TCopy&) = delete;
    TCopy& operator=(const TCopy&) = delete;

    const fs::path& Dir() const { return FDir; }
    QString Exe() const { return QString::fromStdString(FExe.string()); }
    std::string Identity() const { return FExe.string(); }

    const std::string& Folder() const { return FFolder; }

    // The process ids in the registry of this copy, in order.
    std::vector<uint32_t> Registered() const {
        std::ifstream file(Folder() + "/registry", std::ios::binary);
        const std::string block{std::istreambuf_iterator<char>(file), {}};
        std::vector<uint32_t> ids;
        if (block.size() != TInstanceRegistry::BlockSize)
            return ids;
        const uint16_t count = qFromLittleEndian<uint16_t>(block.data() + 2);
        for (uint16_t i = 0; i < count && i < TInstanceRegistry::Capacity; ++i)
            ids.push_back(qFromLittleEndian<uint32_t>(block.data() + 4 + 4 * i));
        return ids;
    }

private:
    fs::path FTop;
    fs::path FDir;
    fs::path FExe;
    std::string FFolder;
};

inline uint32_t Pid(const QProcess& process) {
    return static_cast<uint32_t>(process.processId());
}

inline void Start(QProcess& process, const TCopy& copy, const QStringList& arguments,
                  bool offscreen = false) {
    if (offscreen) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
    }
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(copy.Exe(), arguments);
    ASSERT_TRUE(process.waitForStarted(10000));
}

inline bool WaitForRegistry(const TCopy& copy, const std::vector<uint32_t>& expected) {
    return QTest::qWaitFor([&] { return copy.Registered() == expected; }, 20000);
}

// Runs a launch to its end; its exit code, or -1 when it did not end in time.
inline int Launch(const TCopy& copy, const QStringList& arguments, bool offscreen = false,
                  const std::function<void(QProcessEnvironment&)>& environment = {}) {
    QProcess process;
    if (environment) {
        QProcessEnvironment changed = QProcessEnvironment::systemEnvironment();
        environment(changed);
        process.setProcessEnvironment(changed);
    }
    Start(process, copy, arguments, offscreen && !environment);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Runs xdotool to its end; its output, or none when it failed or did not end in time.
inline std::optional<QString> Xdotool(const QStringList& arguments) {
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    if (!xdotool.waitForFinished(30000)) {
        xdotool.kill();
        xdotool.waitForFinished();
        return std::nullopt;
    }
    if (xdotool.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(xdotool.readAllStandardOutput()).trimmed();
}

// The window of process with that title, once it is shown; none within the time limit.
inline std::optional<QString> ShownWindow(const QProcess& process, const QString& title) {
    return Xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--sync"),
                    QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                    QString::number(process.processId()), QStringLiteral("--name"),
                    QLatin1Char('^') + title + QLatin1Char('$')});
}

// Ends a running instance the way a session end does, once it is up; its exit code.
inline int Terminate(QProcess& process, bool waitForWindow = true) {
    if (waitForWindow) {
        EXPECT_TRUE(ShownWindow(process, QStringLiteral("Trelmo")));
    }
    process.terminate();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitCode();
}

inline std::string NextLine(QProcess& process) {
    if (!process.canReadLine() && !QTest::qWaitFor([&] { return process.canReadLine(); }, 15000))
        return "(no line)";
    return process.readLine().trimmed().toStdString();
}
