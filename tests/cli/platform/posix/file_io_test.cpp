// The native program's side of the neutral platform headers, on the real file system: the
// stages' reads and writes over pipes, the caller's closed streams, names as bytes, and the
// run's wording of what POSIX reports.

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "cli/platform/file_identity.h"
#include "cli/platform/file_io.h"
#include "cli/platform/file_paths.h"
#include "cli/platform/pending_file.h"
#include "cli/platform/posix/stop_signals.h"
#include "cli/platform/posix/system_calls.h"
#include "tests/cli/platform/posix/posix_scratch.h"

namespace {

namespace fs = std::filesystem;

class RunFiles : public posix_test::Scratch {
  protected:
    FilePath Path(const std::string& name) const {
        FilePath path;
        EXPECT_FALSE(ResolvePath((root_ / name).string(), path));
        return path;
    }
};

// A child process's exit code: 0 when every check in `body` held.
int InChild(const std::function<bool()>& body) {
    return posix_test::InChild(false, [&] { return body() ? 0 : 1; });
}

// A block far larger than a pipe holds crosses it whole in both loops; a reader that goes is
// the writer's failure, told apart from others.
TEST_F(RunFiles, WholeBlocksCrossAPipe) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    std::vector<std::byte> sent(std::size_t{8} << 20);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::byte>(i * 7 + i / 997);
    std::thread writer([&] {
        bool readerGone = true;
        EXPECT_FALSE(WriteAll(ends[1], sent, "standard output", readerGone));
        EXPECT_FALSE(readerGone);
        ::close(ends[1]);
    });
    std::vector<std::byte> received(sent.size() + 1);
    std::size_t got = 0;
    EXPECT_FALSE(ReadAll(ends[0], received, "standard input", got));
    writer.join();
    ASSERT_EQ(got, sent.size());
    EXPECT_EQ(std::memcmp(received.data(), sent.data(), got), 0);
    ::close(ends[0]);

    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    ::signal(SIGPIPE, SIG_IGN);
    bool readerGone = false;
    const Failure failure = WriteAll(ends[1], sent, "out.raw", readerGone);
    ::signal(SIGPIPE, SIG_DFL);
    EXPECT_TRUE(readerGone);
    EXPECT_EQ(failure.code, FailureCode::NotWritten);
    EXPECT_EQ(failure.reason, "out.raw: not written: Broken pipe");
    ::close(ends[1]);
}

// A pipe grows to hold a frame, as far as the system allows, and never shrinks; a file is left
// as it is.
TEST_F(RunFiles, PipesWidenForAFrame) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const int before = ::fcntl(ends[0], F_GETPIPE_SZ);
    WidenPipe(ends[0], std::size_t{64} << 20);
    const int widened = ::fcntl(ends[1], F_GETPIPE_SZ);
    EXPECT_GT(widened, before);
    WidenPipe(ends[1], 4096);
    EXPECT_EQ(::fcntl(ends[0], F_GETPIPE_SZ), widened);
    ::close(ends[0]);
    ::close(ends[1]);

    std::ofstream(root_ / "frames.raw") << "x";
    const int file = ::open((root_ / "frames.raw").c_str(), O_RDONLY | O_CLOEXEC);
    WidenPipe(file, std::size_t{1} << 20);
    EXPECT_EQ(::fcntl(file, F_GETPIPE_SZ), -1);
    ::close(file);
}

// A stream the caller closed is refused where the run needs it, and the file the run opens
// next does not take its number.
TEST_F(RunFiles, ClosedStandardStreamsAreNotTheRunsFiles) {
    std::ofstream(root_ / "in.png") << "x";
    const FilePath input = Path("in.png");
    EXPECT_EQ(InChild([&] {
                  ::close(STDIN_FILENO);
                  posix::TakeStandardStreams();
                  FileHandle handle = OwnedFile::None();
                  const Failure refused = StandardStream(StandardStreamId::Input, handle);
                  OwnedFile file;
                  return refused.code == FailureCode::BadInput &&
                         refused.reason == "standard input: not open (closed by the caller)" &&
                         !StandardStream(StandardStreamId::Output, handle) &&
                         !OpenToRead(input, file) && file.Get() > STDERR_FILENO;
              }),
              0);
}

// A write past `ulimit -f` says which limit, and the destination never appears.
TEST_F(RunFiles, FileSizeLimitIsNamed) {
    const FilePath output = Path("out.png");
    EXPECT_EQ(InChild([&] {
                  ::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{4096, 4096};
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  const std::vector<std::byte> bytes(10000);
                  const Failure failure = WriteWholeFile(output, bytes);
                  return failure.reason == output.shown +
                                               ": not written: larger than the file-size limit "
                                               "(ulimit -f) of 4096 bytes";
              }),
              0);
    EXPECT_FALSE(fs::exists(root_ / "out.png"));
}

struct Named {
    const char* what;
    std::string name;
    FailureCode code;
};

// A name is its bytes; only one the file system cannot take is refused before the run starts.
const Named kNames[] = {
    {"not UTF-8", "caf\xe9.png", FailureCode::None},
    {"a backslash and what Windows cannot name", "a\\b?*<>|\".png", FailureCode::None},
    {"a control character", "a\nb.png", FailureCode::None},
    {"a name of 255 bytes", std::string(251, 'n') + ".png", FailureCode::None},
    {"a name of 256 bytes", std::string(252, 'n') + ".png", FailureCode::Usage},
};

class RunFileNames : public RunFiles, public ::testing::WithParamInterface<Named> {};

TEST_P(RunFileNames, AreTheirBytes) {
    FilePath path;
    const Failure failure = ResolvePath((root_ / GetParam().name).string(), path);
    EXPECT_EQ(failure.code, GetParam().code) << failure.reason;
    if (failure) return;
    EXPECT_EQ(path.system, (root_ / GetParam().name).string());
    EXPECT_FALSE(WriteWholeFile(path, std::as_bytes(std::span("frame", 5))));
    EXPECT_TRUE(fs::exists(root_ / GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(Rows, RunFileNames, ::testing::ValuesIn(kNames),
                         [](const ::testing::TestParamInfo<Named>& row) {
                             return "Row" + std::to_string(row.index);
                         });

// Identity follows the caller's descriptors; new files in a missing folder are one file only
// by the same bytes, however the path is spelled.
TEST_F(RunFiles, IdentitiesAndKeysOfNewFiles) {
    std::ofstream(root_ / "in.png") << "x";
    const int fd = ::open((root_ / "in.png").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    FilePath byDescriptor;
    ASSERT_FALSE(ResolvePath("/dev/fd/" + std::to_string(fd), byDescriptor));
    EXPECT_EQ(IdentityOf(byDescriptor), IdentityOf(Path("in.png")));
    ::close(fd);
    EXPECT_TRUE(NewFileKeysAreOne(NewFileKey(Path("new/x.png")), NewFileKey(Path("new//./x.png"))));
    EXPECT_FALSE(NewFileKeysAreOne(NewFileKey(Path("new/x.png")), NewFileKey(Path("new/X.png"))));
    EXPECT_FALSE(NewNamesAreOne("x.png", "X.png"));
}

// An output through a link is written to the link's target; a link to nothing is refused.
TEST_F(RunFiles, OutputLinks) {
    fs::create_symlink("gone.png", root_ / "dangling.png");
    FilePath dangling = Path("dangling.png");
    const Failure failure = FollowOutputLink(dangling);
    EXPECT_EQ(failure.code, FailureCode::NotWritten);
    EXPECT_NE(failure.reason.find("a link to gone.png, which does not exist"), std::string::npos);
    std::ofstream(root_ / "target.png") << "old";
    fs::create_symlink("target.png", root_ / "link.png");
    FilePath link = Path("link.png");
    ASSERT_FALSE(FollowOutputLink(link));
    EXPECT_FALSE(WriteWholeFile(link, std::as_bytes(std::span("new", 3))));
    EXPECT_TRUE(fs::is_symlink(root_ / "link.png"));
    EXPECT_EQ(fs::file_size(root_ / "target.png"), 3u);
}

// A named pipe's writer waits for a reader until the run stops.
TEST_F(RunFiles, NamedPipeWithoutReaderWaitsUntilAStop) {
    ASSERT_EQ(::mkfifo((root_ / "fifo").c_str(), 0600), 0);
    const FilePath fifo = Path("fifo");
    EXPECT_TRUE(IsStreamDevice(fifo));
    int asked = 0;
    OwnedFile file;
    const Failure failure = OpenStreamEnd(
        fifo, true, FailureCode::NotWritten, [&] { return ++asked == 3; }, file);
    EXPECT_EQ(failure.code, FailureCode::Aborted);
    EXPECT_EQ(failure.reason, fifo.shown + ": aborted");
    EXPECT_FALSE(file);
}

// A crash is one line and exit code 4, as the Windows program's crash filter makes it.
TEST(CrashReport, OneLineAndTheRenderFailedCode) {
    for (const int signal : {SIGSEGV, SIGABRT}) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(ends[1], STDERR_FILENO);
            posix::InstallCrashReport();
            ::raise(signal);
            ::_exit(0);
        }
        ::close(ends[1]);
        char text[128] = {};
        std::size_t got = 0;
        for (ssize_t n; (n = ::read(ends[0], text + got, sizeof text - 1 - got)) > 0;) {
            got += static_cast<std::size_t>(n);
        }
        ::close(ends[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 4);
        EXPECT_EQ(std::string(text), std::string("braidel-run: crashed (") +
                                         (signal == SIGSEGV ? "SIGSEGV" : "SIGABRT") +
                                         "); stopped\n");
    }
}

}  // namespace
