// The native braidel-run's POSIX layer on the real file system: outputs that appear only whole,
// identities through links, paths past PATH_MAX, the errors a write meets, and the stop signals.
// Rows that need an unprivileged user or a file-size limit run in a child process.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cli/platform/posix/file_status.h"
#include "cli/platform/posix/folder_walk.h"
#include "cli/platform/posix/open_files.h"
#include "cli/platform/posix/pending_file.h"
#include "cli/platform/posix/stop_signals.h"
#include "cli/platform/posix/system_calls.h"
#include "tests/braidel_run/posix_scratch.h"

namespace {

using namespace posix;
using posix_test::InChild;
using posix_test::Scratch;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::span<const std::byte> BytesOf(const std::string& text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Files left in a folder whose names are ours.
std::vector<std::string> Temporaries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename();
        if (name.starts_with(".braidel-")) names.push_back(name);
    }
    return names;
}

// A whole file through a PendingFile, as its errno (small enough for an exit code).
int WriteAsErrno(const fs::path& path, const std::string& text) {
    return WriteWholeFile(path, BytesOf(text));
}

// A relative path of nested folders longer than PATH_MAX, made with relative calls.
std::string DeepFolder(const fs::path& root) {
    const std::string component(200, 'd');
    std::string relative;
    UniqueFd folder(::open(root.c_str(), O_PATH | O_DIRECTORY));
    while (relative.size() <= PATH_MAX + 100) {
        ::mkdirat(folder.Get(), component.c_str(), 0755);
        folder = UniqueFd(::openat(folder.Get(), component.c_str(), O_PATH | O_DIRECTORY));
        relative += component + "/";
    }
    return relative;
}

using PendingFileTest = Scratch;

TEST_F(PendingFileTest, NewFileAppearsWholeWithTheCallersUmask) {
    const mode_t old = ::umask(027);
    EXPECT_EQ(WriteAsErrno(root_ / "out.png", "frame"), 0);
    ::umask(old);
    EXPECT_EQ(Content(root_ / "out.png"), "frame");
    EXPECT_EQ(fs::status(root_ / "out.png").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(Temporaries(root_).empty());
}

TEST_F(PendingFileTest, OldContentStaysUntilCommitThenIsReplacedWhole) {
    Put(root_ / "out.png", "old frame");
    std::unique_ptr<PendingFile> file;
    ASSERT_EQ(PendingFile::Create(root_ / "out.png", file), 0);
    ASSERT_EQ(file->Write(BytesOf("new")), 0);
    EXPECT_EQ(Content(root_ / "out.png"), "old frame");
    EXPECT_EQ(Temporaries(root_), std::vector<std::string>{file->TemporaryName()});
    ASSERT_EQ(file->Commit(), 0);
    EXPECT_EQ(Content(root_ / "out.png"), "new");
    EXPECT_TRUE(Temporaries(root_).empty());
}

TEST_F(PendingFileTest, AbandonedFileLeavesNoTemporaryAndTheOldContent) {
    Put(root_ / "out.png", "old");
    {
        std::unique_ptr<PendingFile> file;
        ASSERT_EQ(PendingFile::Create(root_ / "out.png", file), 0);
        ASSERT_EQ(file->Write(BytesOf("half")), 0);
    }
    EXPECT_EQ(Content(root_ / "out.png"), "old");
    EXPECT_TRUE(Temporaries(root_).empty());
}

TEST_F(PendingFileTest, LinkIsWrittenThroughToItsTargetAndStays) {
    fs::create_directory(root_ / "real");
    Put(root_ / "real" / "target.png", "old");
    fs::create_symlink("real/target.png", root_ / "link.png");
    EXPECT_EQ(WriteAsErrno(root_ / "link.png", "new"), 0);
    EXPECT_TRUE(fs::is_symlink(root_ / "link.png"));
    EXPECT_EQ(Content(root_ / "real" / "target.png"), "new");
    EXPECT_TRUE(Temporaries(root_).empty());
    EXPECT_TRUE(Temporaries(root_ / "real").empty());
}

struct Refusal {
    const char* what;
    std::function<fs::path(const fs::path& root)> prepare;  // the destination
    bool unprivileged;
    int error;
};

const Refusal kRefusals[] = {
    {"dangling link",
     [](const fs::path& root) {
         fs::create_symlink("missing.png", root / "link.png");
         return root / "link.png";
     },
     false, ENOENT},
    {"missing folder", [](const fs::path& root) { return root / "none" / "out.png"; }, false,
     ENOENT},
    {"a folder", [](const fs::path& root) { return root / "."; }, false, EISDIR},
    {"read-only folder",
     [](const fs::path& root) {
         fs::create_directory(root / "ro");
         ::chmod((root / "ro").c_str(), 0555);
         return root / "ro" / "out.png";
     },
     true, EACCES},
    {"folder without search permission",
     [](const fs::path& root) {
         fs::create_directory(root / "closed");
         fs::create_directory(root / "closed" / "inner");
         ::chmod((root / "closed").c_str(), 0666);
         return root / "closed" / "inner" / "out.png";
     },
     true, EACCES},
};

class PendingFileRefusal : public Scratch, public ::testing::WithParamInterface<Refusal> {};

TEST_P(PendingFileRefusal, NothingIsCreated) {
    const Refusal& row = GetParam();
    const fs::path destination = row.prepare(root_);
    EXPECT_EQ(InChild(row.unprivileged, [&] { return WriteAsErrno(destination, "frame"); }),
              row.error);
    EXPECT_FALSE(fs::exists(root_ / "missing.png"));
    for (const auto& entry :
         fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".braidel-")) << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PendingFileRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& row) {
                             std::string name = row.param.what;
                             for (char& c : name)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST_F(PendingFileTest, WritePastTheFileSizeLimitIsEfbigAndLeavesNoTemporary) {
    const int result = InChild(false, [&] {
        IgnoreFileSizeSignal();
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return WriteAsErrno(root_ / "out.png", std::string(10000, 'x'));
    });
    EXPECT_EQ(result, EFBIG);
    EXPECT_FALSE(fs::exists(root_ / "out.png"));
    EXPECT_TRUE(Temporaries(root_).empty());
}

TEST_F(PendingFileTest, RelativePathPastPathMaxIsWrittenAndIdentified) {
    const std::string deep = DeepFolder(root_);
    const std::string previous = fs::current_path();
    fs::current_path(root_);
    EXPECT_EQ(WriteAsErrno(deep + "out.png", "frame"), 0);
    struct stat status {};
    EXPECT_EQ(StatusOf(deep + "out.png", status), 0);
    EXPECT_EQ(status.st_size, 5);
    EXPECT_TRUE(IdentityOf(deep + "out.png").has_value());
    fs::current_path(previous);
}

using IdentityTest = Scratch;

TEST_F(IdentityTest, LinksAndStreamNamesLeadToOneFile) {
    fs::create_directory(root_ / "a");
    fs::create_directory(root_ / "b");
    Put(root_ / "a" / "in.png", "x");
    fs::create_hard_link(root_ / "a" / "in.png", root_ / "hard.png");
    fs::create_symlink("a/in.png", root_ / "soft.png");
    fs::create_directory_symlink(root_ / "a", root_ / "b" / "linked");
    Put(root_ / "in.png", "y");  // "b/linked/../in.png" is this one, where Linux goes
    const auto original = IdentityOf(root_ / "a" / "in.png");
    ASSERT_TRUE(original.has_value());
    EXPECT_EQ(IdentityOf(root_ / "hard.png"), original);
    EXPECT_EQ(IdentityOf(root_ / "soft.png"), original);
    EXPECT_EQ(IdentityOf(root_ / "b" / "linked" / "in.png"), original);
    EXPECT_EQ(IdentityOf((root_ / "b" / "linked").string() + "/../in.png"),
              IdentityOf(root_ / "in.png"));
    UniqueFd open(::open((root_ / "a" / "in.png").c_str(), O_RDONLY));
    EXPECT_EQ(IdentityOf(open.Get()), original);
    EXPECT_EQ(IdentityOf("/dev/fd/" + std::to_string(open.Get())), original);
    EXPECT_EQ(IdentityOf("/proc/self/fd/" + std::to_string(open.Get())), original);
}

TEST_F(IdentityTest, NewFileIsItsFolderAndExactName) {
    const auto upper = IdentityOf(root_ / "New.png");
    ASSERT_TRUE(upper.has_value());
    EXPECT_EQ(upper->newName, "New.png");
    EXPECT_NE(upper, IdentityOf(root_ / "new.png"));
    EXPECT_EQ(IdentityOf(root_ / "." / "New.png"), upper);
    // Any bytes but "/" and NUL make a name, valid UTF-8 or not.
    EXPECT_EQ(IdentityOf(root_ / "\xff\xfe.png")->newName, "\xff\xfe.png");
    EXPECT_FALSE(IdentityOf(root_ / "none" / "x.png").has_value());
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_FALSE(IdentityOf(ends[0]).has_value());
    ::close(ends[0]);
    ::close(ends[1]);
}

using FolderTest = Scratch;

TEST_F(FolderTest, MissingParentsAreMadeWithTheCallersUmask) {
    const mode_t old = ::umask(027);
    EXPECT_EQ(MakeFolders(root_ / "a" / "b" / "c/"), 0);
    ::umask(old);
    EXPECT_TRUE(fs::is_directory(root_ / "a" / "b" / "c"));
    EXPECT_EQ(fs::status(root_ / "a").permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_EQ(MakeFolders(root_ / "a" / "b"), 0);  // there already
    Put(root_ / "file", "x");
    EXPECT_EQ(MakeFolders(root_ / "file"), ENOTDIR);
    EXPECT_EQ(MakeFolders(root_ / "file" / "below"), ENOTDIR);
    ::chmod((root_ / "a").c_str(), 0555);
    EXPECT_EQ(InChild(true, [&] { return MakeFolders(root_ / "a" / "new"); }), EACCES);
}

// A named pipe is opened at once whatever its other end does; reading waits for a writer, and
// writing needs a reader.
TEST_F(FolderTest, NamedPipesOpenWithoutWaiting) {
    const fs::path fifo = root_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    OpenedFile writer;
    EXPECT_EQ(OpenStreamForWriting(fifo, writer), ENXIO);
    OpenedFile reader;
    ASSERT_EQ(OpenForReading(fifo, reader), 0);
    EXPECT_TRUE(IsStreamDevice(reader.status));
    EXPECT_FALSE(WaitReady(reader.fd.Get(), false, 50));
    ASSERT_EQ(OpenStreamForWriting(fifo, writer), 0);
    ASSERT_TRUE(WaitReady(writer.fd.Get(), true, 1000));
    ASSERT_EQ(WriteAll(writer.fd.Get(), BytesOf("frame")), 0);
    writer = {};
    ASSERT_TRUE(WaitReady(reader.fd.Get(), false, 1000));
    std::byte buffer[16];
    std::size_t got = 0;
    EXPECT_EQ(ReadFull(reader.fd.Get(), buffer, got), 0);
    EXPECT_EQ(got, 5u);
    Put(root_ / "plain", "x");
    EXPECT_EQ(OpenStreamForWriting(root_ / "plain", writer), EINVAL);
}

void OnWindowChange(int) {}

// A read that a signal interrupts goes on: the frame still arrives whole.
TEST(SystemCalls, InterruptedReadIsRetried) {
    struct sigaction action {};
    action.sa_handler = OnWindowChange;  // no SA_RESTART: the read returns EINTR
    ::sigaction(SIGWINCH, &action, nullptr);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const pthread_t reader = ::pthread_self();
    std::thread writer([&] {
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(20ms);
            ::pthread_kill(reader, SIGWINCH);
        }
        EXPECT_EQ(::write(ends[1], "frame", 5), 5);
        ::close(ends[1]);
    });
    std::byte buffer[16];
    std::size_t got = 0;
    EXPECT_EQ(ReadFull(ends[0], buffer, got), 0);
    writer.join();
    EXPECT_EQ(got, 5u);
    ::close(ends[0]);
}

// The child waits for a stop signal and exits as the run does; each row sends one or two.
struct Stop {
    std::vector<int> sent;
    int exitCode;
};

class StopSignalTest : public ::testing::TestWithParam<Stop> {};

TEST_P(StopSignalTest, FirstSignalDecidesTheExitCode) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        std::atomic<bool> stopped{false};
        StopSignals signals([&] { stopped.store(true); });
        if (::write(ready[1], "r", 1) != 1) ::_exit(125);
        while (!stopped.load()) std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(100ms);  // later signals arrive meanwhile
        ::_exit(StopSignals::ExitCodeFor(signals.Received()));
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    for (int signal : GetParam().sent) {
        ::kill(child, signal);
        std::this_thread::sleep_for(20ms);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), GetParam().exitCode);
    ::close(ready[0]);
    ::close(ready[1]);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest,
                         ::testing::Values(Stop{{SIGINT}, 130}, Stop{{SIGTERM}, 143},
                                           Stop{{SIGHUP}, 129}, Stop{{SIGQUIT}, 131},
                                           Stop{{SIGALRM}, 142}, Stop{{SIGUSR1}, 138},
                                           Stop{{SIGUSR2}, 140}, Stop{{SIGPIPE}, 141},
                                           Stop{{SIGTERM, SIGINT}, 143}));

// A reader that closes its pipe is no stop signal: the write fails with EPIPE.
TEST(StopSignals, ClosedReaderIsAWriteErrorNotAStop) {
    StopSignals signals({});
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    EXPECT_EQ(WriteAll(ends[1], BytesOf("frame")), EPIPE);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(signals.Received(), 0);
    ::close(ends[1]);
}

}  // namespace
