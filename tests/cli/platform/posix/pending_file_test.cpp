// The native braidel-run's POSIX side on the real file system, through the neutral headers:
// outputs that appear only whole, identities through links, paths past PATH_MAX, the errors a
// write meets, and the stop signals. Rows that need an unprivileged user or a file-size limit
// run in a child process.

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

#include "cli/platform/file_identity.h"
#include "cli/platform/file_io.h"
#include "cli/platform/file_paths.h"
#include "cli/platform/pending_file.h"
#include "cli/platform/posix/stop_signals.h"
#include "tests/cli/platform/posix/posix_scratch.h"

namespace {

using posix::StopSignals;
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

FilePath PathOf(const fs::path& path) {
    return {path.string(), path.string(), {}};
}

// 0 when `failure` is one and its line holds `fragment` (the system's words for an error); 1
// otherwise: small enough for a child's exit code.
int Says(const Failure& failure, const std::string& fragment) {
    return failure && failure.reason.find(fragment) != std::string::npos ? 0 : 1;
}

// A whole file through a PendingFile that must fail: 0 when its line holds `fragment`.
int WriteSays(const fs::path& path, const std::string& text, const std::string& fragment) {
    const Failure failure = WriteWholeFile(PathOf(path), BytesOf(text));
    return failure ? Says(failure, fragment) : 2;
}

bool Written(const fs::path& path, const std::string& text) {
    return !WriteWholeFile(PathOf(path), BytesOf(text));
}

std::optional<FileIdentity> IdentityOf(const fs::path& path) {
    return ::IdentityOf(PathOf(path));
}

// A relative path of nested folders longer than PATH_MAX, made with relative calls.
std::string DeepFolder(const fs::path& root) {
    const std::string component(200, 'd');
    std::string relative;
    OwnedFile folder(::open(root.c_str(), O_PATH | O_DIRECTORY));
    while (relative.size() <= PATH_MAX + 100) {
        ::mkdirat(folder.Get(), component.c_str(), 0755);
        folder = OwnedFile(::openat(folder.Get(), component.c_str(), O_PATH | O_DIRECTORY));
        relative += component + "/";
    }
    return relative;
}

using PendingFileTest = Scratch;

TEST_F(PendingFileTest, NewFileAppearsWholeWithTheCallersUmask) {
    const mode_t old = ::umask(027);
    EXPECT_TRUE(Written(root_ / "out.png", "frame"));
    ::umask(old);
    EXPECT_EQ(Content(root_ / "out.png"), "frame");
    EXPECT_EQ(fs::status(root_ / "out.png").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(Temporaries(root_).empty());
}

TEST_F(PendingFileTest, OldContentStaysUntilCommitThenIsReplacedWhole) {
    Put(root_ / "out.png", "old frame");
    std::unique_ptr<PendingFile> file;
    ASSERT_FALSE(PendingFile::Create(PathOf(root_ / "out.png"), file));
    ASSERT_FALSE(file->Write(BytesOf("new")));
    EXPECT_EQ(Content(root_ / "out.png"), "old frame");
    EXPECT_EQ(Temporaries(root_).size(), 1u);
    ASSERT_FALSE(file->Commit());
    EXPECT_EQ(Content(root_ / "out.png"), "new");
    EXPECT_TRUE(Temporaries(root_).empty());
}

TEST_F(PendingFileTest, AbandonedFileLeavesNoTemporaryAndTheOldContent) {
    Put(root_ / "out.png", "old");
    {
        std::unique_ptr<PendingFile> file;
        ASSERT_FALSE(PendingFile::Create(PathOf(root_ / "out.png"), file));
        ASSERT_FALSE(file->Write(BytesOf("half")));
    }
    EXPECT_EQ(Content(root_ / "out.png"), "old");
    EXPECT_TRUE(Temporaries(root_).empty());
}

TEST_F(PendingFileTest, LinkIsWrittenThroughToItsTargetAndStays) {
    fs::create_directory(root_ / "real");
    Put(root_ / "real" / "target.png", "old");
    fs::create_symlink("real/target.png", root_ / "link.png");
    EXPECT_TRUE(Written(root_ / "link.png", "new"));
    EXPECT_TRUE(fs::is_symlink(root_ / "link.png"));
    EXPECT_EQ(Content(root_ / "real" / "target.png"), "new");
    EXPECT_TRUE(Temporaries(root_).empty());
    EXPECT_TRUE(Temporaries(root_ / "real").empty());
}

struct Refusal {
    const char* what;
    std::function<fs::path(const fs::path& root)> prepare;  // the destination
    bool unprivileged;
    const char* error;  // the system's words in the one line
};

const Refusal kRefusals[] = {
    {"dangling link",
     [](const fs::path& root) {
         fs::create_symlink("missing.png", root / "link.png");
         return root / "link.png";
     },
     false, "No such file"},
    {"missing folder", [](const fs::path& root) { return root / "none" / "out.png"; }, false,
     "No such file"},
    {"a folder", [](const fs::path& root) { return root / "."; }, false, "Is a directory"},
    {"read-only folder",
     [](const fs::path& root) {
         fs::create_directory(root / "ro");
         ::chmod((root / "ro").c_str(), 0555);
         return root / "ro" / "out.png";
     },
     true, "Permission denied"},
    {"folder without search permission",
     [](const fs::path& root) {
         fs::create_directory(root / "closed");
         fs::create_directory(root / "closed" / "inner");
         ::chmod((root / "closed").c_str(), 0666);
         return root / "closed" / "inner" / "out.png";
     },
     true, "Permission denied"},
};

class PendingFileRefusal : public Scratch, public ::testing::WithParamInterface<Refusal> {};

TEST_P(PendingFileRefusal, NothingIsCreated) {
    const Refusal& row = GetParam();
    const fs::path destination = row.prepare(root_);
    EXPECT_EQ(InChild(row.unprivileged, [&] { return WriteSays(destination, "frame", row.error); }),
              0);
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
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return WriteSays(root_ / "out.png", std::string(10000, 'x'), "file-size limit");
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(root_ / "out.png"));
    EXPECT_TRUE(Temporaries(root_).empty());
}

TEST_F(PendingFileTest, RelativePathPastPathMaxIsWrittenAndIdentified) {
    const std::string deep = DeepFolder(root_);
    const std::string previous = fs::current_path();
    fs::current_path(root_);
    EXPECT_TRUE(Written(deep + "out.png", "frame"));
    EXPECT_TRUE(Exists(PathOf(deep + "out.png")));
    EXPECT_TRUE(IdentityOf(deep + "out.png").has_value());
    fs::current_path(previous);
}

// An output's folder held before its check: the folder swapped for a link to another one
// afterwards, the check's identity and the write still go to the folder held.
TEST_F(PendingFileTest, HeldFolderIsTheOneWrittenWhateverItsPathLeadsToLater) {
    fs::create_directory(root_ / "out");
    fs::create_directory(root_ / "inputs");
    Put(root_ / "inputs" / "f.png", "input");
    FilePath folder = PathOf(root_ / "out");
    HoldFolder(folder);
    FilePath output;
    ASSERT_FALSE(InFolder(folder, "f.png", output));
    const auto checked = ::IdentityOf(output);
    fs::rename(root_ / "out", root_ / "moved");
    fs::create_directory_symlink(root_ / "inputs", root_ / "out");
    EXPECT_EQ(::IdentityOf(output), checked);
    EXPECT_FALSE(WriteWholeFile(output, BytesOf("frame")));
    EXPECT_EQ(Content(root_ / "inputs" / "f.png"), "input");
    EXPECT_EQ(Content(root_ / "moved" / "f.png"), "frame");
    // Outputs in one folder hold it once.
    FilePath a = PathOf(root_ / "moved" / "a.png");
    FilePath b = PathOf(root_ / "moved" / "b.png");
    HoldFoldersOf({&a, &b});
    ASSERT_TRUE(a.folder);
    EXPECT_EQ(a.folder, b.folder);
}

// A folder still to be made, then "..": the output is where the made folders will lead.
TEST_F(PendingFileTest, FolderStillToBeMadeIsComparedWhereItWillLead) {
    Put(root_ / "f.png", "x");
    EXPECT_EQ(IdentityOf(root_ / "new" / ".." / "f.png"), IdentityOf(root_ / "f.png"));
    EXPECT_EQ(IdentityOf(root_ / "new" / "deeper" / ".." / ".." / "f.png"),
              IdentityOf(root_ / "f.png"));
    EXPECT_FALSE(IdentityOf(root_ / "new" / "f.png").has_value());
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
    OwnedFile open(::open((root_ / "a" / "in.png").c_str(), O_RDONLY));
    EXPECT_EQ(IdentityOf("/dev/fd/" + std::to_string(open.Get())), original);
    EXPECT_EQ(IdentityOf("/proc/self/fd/" + std::to_string(open.Get())), original);
    // A descriptor's link says it holds 64 bytes, whatever the length of its path.
    const fs::path deep = root_ / std::string(120, 'l') / std::string(120, 'm');
    fs::create_directories(deep);
    Put(deep / "in.png", "z");
    OwnedFile far(::open((deep / "in.png").c_str(), O_RDONLY));
    EXPECT_EQ(IdentityOf("/dev/fd/" + std::to_string(far.Get())), IdentityOf(deep / "in.png"));
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
}

using FolderTest = Scratch;

TEST_F(FolderTest, MissingParentsAreMadeWithTheCallersUmask) {
    const mode_t old = ::umask(027);
    EXPECT_FALSE(MakeFolders(PathOf(root_ / "a" / "b" / "c/")));
    ::umask(old);
    EXPECT_TRUE(fs::is_directory(root_ / "a" / "b" / "c"));
    EXPECT_EQ(fs::status(root_ / "a").permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_FALSE(MakeFolders(PathOf(root_ / "a" / "b")));  // there already
    Put(root_ / "file", "x");
    EXPECT_EQ(Says(MakeFolders(PathOf(root_ / "file")), "Not a directory"), 0);
    EXPECT_EQ(Says(MakeFolders(PathOf(root_ / "file" / "below")), "Not a directory"), 0);
    ::chmod((root_ / "a").c_str(), 0555);
    EXPECT_EQ(
        InChild(
            true,
            [&] { return Says(MakeFolders(PathOf(root_ / "a" / "new")), "Permission denied"); }),
        0);
}

// A named pipe is opened at once whatever its other end does; reading waits for a writer, and
// writing needs a reader.
TEST_F(FolderTest, NamedPipesOpenWithoutWaiting) {
    const FilePath fifo = PathOf(root_ / "fifo");
    ASSERT_EQ(::mkfifo(fifo.system.c_str(), 0600), 0);
    EXPECT_TRUE(IsStreamDevice(fifo));
    EXPECT_FALSE(IsStreamDevice(PathOf(root_)));
    OwnedFile reader;
    ASSERT_FALSE(OpenStreamEnd(
                     fifo, false, FailureCode::BadInput, [] { return true; }, reader)
                     .reason.empty());  // no writer yet: the wait ends at the first stop
    int looks = 0;
    std::thread writing([&] {
        OwnedFile writer;
        EXPECT_FALSE(OpenStreamEnd(
            fifo, true, FailureCode::NotWritten, [&] { return ++looks > 100; }, writer));
        bool readerGone = false;
        EXPECT_FALSE(WriteAll(writer.Get(), BytesOf("frame"), "fifo", readerGone));
    });
    ASSERT_FALSE(OpenStreamEnd(
        fifo, false, FailureCode::BadInput, [] { return false; }, reader));
    writing.join();
    std::byte buffer[16];
    std::size_t got = 0;
    EXPECT_FALSE(ReadAll(reader.Get(), buffer, "fifo", got));
    EXPECT_EQ(got, 5u);
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
    EXPECT_FALSE(ReadAll(ends[0], buffer, "pipe", got));
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
    bool readerGone = false;
    EXPECT_EQ(Says(WriteAll(ends[1], BytesOf("frame"), "pipe", readerGone), "Broken pipe"), 0);
    EXPECT_TRUE(readerGone);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(signals.Received(), 0);
    ::close(ends[1]);
}

}  // namespace
