#include "cli/Spool.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A file of our own without a name, so nothing is left behind however the program ends.
int UnnamedFile()
{
    const char* folder = std::getenv("TMPDIR");
    const std::string dir = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    std::string name = dir + "/sifton-cli-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
        ::unlink(name.c_str());
    }
    return fd;
}

bool CopyAll(int from, int to)
{
    std::vector<char> buffer(std::size_t{1} << 16);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::write(to, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno != EINTR) {
                return false;
            }
            done += put > 0 ? put : 0;
        }
    }
}

} // namespace

SpoolFiles::~SpoolFiles()
{
    for (const auto& [path, fd] : FCopies) {
        ::close(fd);
    }
}

std::string SpoolFiles::PathFor(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
        return path;
    }
    std::lock_guard guard(FLock);
    auto copy = FCopies.find(path);
    if (copy == FCopies.end()) {
        const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        const int out = in >= 0 ? UnnamedFile() : -1;
        if (out < 0 || !CopyAll(in, out)) {
            if (out >= 0) {
                ::close(out);
            }
            if (in >= 0) {
                ::close(in);
            }
            return path;
        }
        ::close(in);
        copy = FCopies.emplace(path, out).first;
    }
    return "/proc/self/fd/" + std::to_string(copy->second);
}
