// POSIX file handling for the packer, with every failure turned into one clear line.
#include "tools/pack/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#include "tools/pack/pack_error.h"

namespace {

std::string systemReason(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) {
    return "a directory";
  }
  if (S_ISLNK(mode)) {
    return "a symbolic link";
  }
  if (S_ISCHR(mode)) {
    return "a character device";
  }
  if (S_ISBLK(mode)) {
    return "a block device";
  }
  if (S_ISFIFO(mode)) {
    return "a FIFO";
  }
  return S_ISSOCK(mode) ? "a socket" : "of an unknown kind";
}

PackError notRegular(const std::string& path, mode_t mode) {
  return PackError(path, "is " + kindOf(mode) + ", not a regular file");
}

// The signals whose default action ends the process and that a handler may catch.
constexpr int kCleanedUpSignals[] = {SIGHUP, SIGINT, SIGTERM, SIGXFSZ};

// The named temporary that those signals remove, "" for none: one at a time, as the packer
// writes one file. Changed only while they are blocked, so the handler never sees a name
// half-written, nor one that is not ours yet or any more.
int temporaryFolder = -1;
char temporaryName[24] = "";

void removeTemporaryAndDie(int number) {
  if (temporaryName[0] != '\0') {
    unlinkat(temporaryFolder, temporaryName, 0);
  }
  // Then the signal's own default action, so that the exit status still says what ended us.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigaction(number, &byDefault, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, number);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(number);
}

sigset_t cleanedUpSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int number : kCleanedUpSignals) {
    sigaddset(&set, number);
  }
  return set;
}

class SignalsBlocked {
 public:
  SignalsBlocked() {
    const sigset_t set = cleanedUpSignals();
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

// The file being written beside the output: unnamed where the file system allows, so that even
// SIGKILL leaves nothing; otherwise, and from its naming to its rename, a short name that the
// caught signals remove. Everything it made goes again unless `renameOver` succeeds.
class Temporary {
 public:
  Temporary(std::string path, int folder) : path_(std::move(path)), folder_(folder) {
    temporaryFolder = folder_;
    struct sigaction handler {};
    handler.sa_handler = removeTemporaryAndDie;
    handler.sa_mask = cleanedUpSignals();
    for (std::size_t i = 0; i < std::size(kCleanedUpSignals); ++i) {
      sigaction(kCleanedUpSignals[i], nullptr, &previous_[i]);
      // An ignored signal stays ignored: a packer started under nohup must not die of a hangup.
      if ((previous_[i].sa_flags & SA_SIGINFO) == 0 && previous_[i].sa_handler == SIG_DFL) {
        sigaction(kCleanedUpSignals[i], &handler, nullptr);
      }
    }
  }

  ~Temporary() {
    if (file_ != -1) {
      close(file_);
    }
    if (temporaryName[0] != '\0') {
      const SignalsBlocked blocked;
      unlinkat(folder_, temporaryName, 0);
      temporaryName[0] = '\0';
    }
    for (std::size_t i = 0; i < std::size(kCleanedUpSignals); ++i) {
      sigaction(kCleanedUpSignals[i], &previous_[i], nullptr);
    }
    close(folder_);
  }

  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;

  void create() {
    file_ = openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0700);
    if (file_ != -1) {
      return;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      fail("cannot be written");
    }
    named([this](const char* name) {
      file_ = openat(folder_, name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
      return file_ != -1;
    });
  }

  void writeAll(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t wrote = write(file_, bytes.data() + done, bytes.size() - done);
      if (wrote < 0 && errno == EINTR) {
        continue;
      }
      if (wrote <= 0) {
        fail("cannot be written");
      }
      done += static_cast<std::size_t>(wrote);
    }
    if (fchmod(file_, 0755) != 0) {
      fail("cannot be made executable");
    }
    if (fsync(file_) != 0) {
      fail("cannot be flushed");
    }
  }

  void renameOver(const std::string& outputName) {
    if (temporaryName[0] == '\0') {
      // Through /proc, since AT_EMPTY_PATH needs a capability on older kernels.
      const std::string self = "/proc/self/fd/" + std::to_string(file_);
      named([this, &self](const char* name) {
        return linkat(AT_FDCWD, self.c_str(), folder_, name, AT_SYMLINK_FOLLOW) == 0 ||
               (errno != EEXIST && linkat(file_, "", folder_, name, AT_EMPTY_PATH) == 0);
      });
    }
    const SignalsBlocked blocked;
    if (renameat(folder_, temporaryName, folder_, outputName.c_str()) != 0) {
      fail("cannot be replaced");
    }
    temporaryName[0] = '\0';
  }

 private:
  [[noreturn]] void fail(const char* what) { throw PackError(path_, systemReason(what)); }

  // Gives the file a fresh name by `make`, retried while the name is taken. The name is short,
  // so that it fits wherever an output name does.
  template <typename Make>
  void named(Make make) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t state = static_cast<std::uint64_t>(now.tv_nsec) ^
                          static_cast<std::uint64_t>(getpid()) << 32 ^
                          static_cast<std::uint64_t>(now.tv_sec);
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      char name[sizeof temporaryName];
      std::snprintf(name, sizeof name, ".zvpack-%06x", static_cast<unsigned>(state >> 40));
      const SignalsBlocked blocked;
      if (make(name)) {
        std::memcpy(temporaryName, name, sizeof name);
        return;
      }
      error = errno;
    }
    errno = error;
    fail("cannot be written");
  }

  std::string path_;
  int folder_;
  int file_ = -1;
  struct sigaction previous_[std::size(kCleanedUpSignals)]{};
};

}  // namespace

InputFile::InputFile(std::string path) : path_(std::move(path)) {
  // Without O_NONBLOCK, opening a FIFO would wait for a writer that never comes.
  descriptor_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  if (descriptor_ == -1) {
    // A socket cannot be opened at all; say what it is rather than "No such device".
    const std::string reason = systemReason("cannot be opened");
    if (stat(path_.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
      throw notRegular(path_, status.st_mode);
    }
    throw PackError(path_, reason);
  }
  if (fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor_);
    throw notRegular(path_, status.st_mode);
  }
  size_ = static_cast<std::uint64_t>(status.st_size);
}

InputFile::~InputFile() {
  close(descriptor_);
}

std::vector<std::uint8_t> InputFile::readAll() {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size_));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = read(descriptor_, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      throw PackError(path_, got < 0 ? systemReason("cannot be read") : "shrank while being read");
    }
    done += static_cast<std::size_t>(got);
  }
  return bytes;
}

void checkOutputPath(const std::string& path) {
  const std::string nameIt = "; name the file to write";
  if (path.empty()) {
    throw PackError("''", "is empty" + nameIt);
  }
  struct stat status {};
  if (lstat(path.c_str(), &status) == 0) {
    if (!S_ISREG(status.st_mode)) {
      throw PackError(path, "is " + kindOf(status.st_mode) + ", not a regular file" + nameIt);
    }
    return;
  }
  if (path.back() == '/') {
    throw PackError(path, "ends in '/'" + nameIt);
  }
  if (errno != ENOENT) {
    throw PackError(path, systemReason("cannot be written"));
  }
}

void writeExecutableAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  const std::size_t slash = path.rfind('/');
  const std::string folderPath = slash == std::string::npos ? "."
                                 : slash == 0               ? "/"
                                                            : path.substr(0, slash);
  const int folder = open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder == -1) {
    throw PackError(path, systemReason("cannot be written"));
  }
  Temporary temporary(path, folder);
  temporary.create();
  temporary.writeAll(bytes);
  temporary.renameOver(path.substr(slash + 1));
}

bool sameFile(const std::string& first, const std::string& second) {
  struct stat a {};
  struct stat b {};
  return stat(first.c_str(), &a) == 0 && stat(second.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}
