// A folder whose files can be looked at but whose contents never come, as on a network folder
// that stopped answering: a small FUSE file system, run as a process of its own so that it ends
// with the test that started it (a reader stuck on it would otherwise keep that test from ever
// ending). Needs root to mount.
//
// Usage: hanging_folder MOUNT-POINT SOURCE-FOLDER. Serves the regular files at the top of
// SOURCE-FOLDER, read once at the start. Prints "ready" once mounted (or "error: ..." and exits),
// and "read" for each read asked. Every read waits until SIGUSR1 comes; from then on reads are
// answered. End of standard input unmounts and ends it.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <linux/fuse.h>
#include <map>
#include <poll.h>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Waiting {
    std::uint64_t unique;
    std::uint64_t node;
    std::uint64_t offset;
    std::uint32_t size;
};

int fuse = -1;
// Node 1 is the folder; its files follow in name order.
std::vector<std::pair<std::string, std::string>> files;
std::vector<Waiting> waiting;
bool released = false;

const std::string* contentsOf(std::uint64_t node)
{
    if (node < FUSE_ROOT_ID + 1 || node > FUSE_ROOT_ID + files.size())
        return nullptr;
    return &files[node - FUSE_ROOT_ID - 1].second;
}

fuse_attr attributes(std::uint64_t node)
{
    fuse_attr attr {};
    attr.ino = node;
    attr.nlink = 1;
    attr.blksize = 4096;
    attr.mtime = attr.ctime = attr.atime = 1'700'000'000;
    if (node == FUSE_ROOT_ID) {
        attr.mode = S_IFDIR | 0755;
        attr.nlink = 2;
    } else if (const std::string* contents = contentsOf(node)) {
        attr.mode = S_IFREG | 0644;
        attr.size = contents->size();
        attr.blocks = (contents->size() + 511) / 512;
    }
    return attr;
}

void reply(std::uint64_t unique, int error, const void* body = nullptr, std::size_t size = 0)
{
    std::vector<char> message(sizeof(fuse_out_header) + size);
    auto* header = reinterpret_cast<fuse_out_header*>(message.data());
    header->len = std::uint32_t(message.size());
    header->error = -error;
    header->unique = unique;
    if (size)
        std::memcpy(message.data() + sizeof(fuse_out_header), body, size);
    (void)!::write(fuse, message.data(), message.size());
}

void answerRead(const Waiting& read)
{
    const std::string* contents = contentsOf(read.node);
    if (!contents) {
        reply(read.unique, EIO);
        return;
    }
    const std::string piece = read.offset < contents->size() ? contents->substr(read.offset, read.size) : std::string();
    reply(read.unique, 0, piece.data(), piece.size());
}

template <typename T> void replyWith(std::uint64_t unique, const T& body)
{
    reply(unique, 0, &body, sizeof body);
}

void handle(const char* message, std::size_t size)
{
    if (size < sizeof(fuse_in_header))
        return;
    const auto* in = reinterpret_cast<const fuse_in_header*>(message);
    const char* body = message + sizeof(fuse_in_header);
    switch (in->opcode) {
    case FUSE_INIT: {
        const auto* init = reinterpret_cast<const fuse_init_in*>(body);
        fuse_init_out out {};
        out.major = FUSE_KERNEL_VERSION;
        out.minor = std::min<std::uint32_t>(init->minor, FUSE_KERNEL_MINOR_VERSION);
        out.max_readahead = init->max_readahead;
        out.max_background = 16;
        out.congestion_threshold = 12;
        out.max_write = 4096;
        out.time_gran = 1;
        replyWith(in->unique, out);
        return;
    }
    case FUSE_LOOKUP: {
        std::uint64_t node = 0;
        for (std::size_t i = 0; in->nodeid == FUSE_ROOT_ID && i < files.size(); ++i) {
            if (files[i].first == body)
                node = FUSE_ROOT_ID + 1 + i;
        }
        if (!node) {
            reply(in->unique, ENOENT);
            return;
        }
        fuse_entry_out out {};
        out.nodeid = node;
        out.attr = attributes(node);
        replyWith(in->unique, out);
        return;
    }
    case FUSE_GETATTR: {
        fuse_attr_out out {};
        out.attr = attributes(in->nodeid);
        replyWith(in->unique, out);
        return;
    }
    case FUSE_OPEN: {
        fuse_open_out out {};
        // Every read comes here, none is answered from the page cache.
        out.open_flags = FOPEN_DIRECT_IO;
        replyWith(in->unique, out);
        return;
    }
    case FUSE_READ: {
        const auto* read = reinterpret_cast<const fuse_read_in*>(body);
        std::printf("read\n");
        std::fflush(stdout);
        const Waiting asked { in->unique, in->nodeid, read->offset, read->size };
        if (released)
            answerRead(asked);
        else
            waiting.push_back(asked);
        return;
    }
    case FUSE_FORGET:
    case FUSE_BATCH_FORGET:
    case FUSE_INTERRUPT:
        return; // no answer expected; an interrupted read keeps waiting, as on a hard mount
    case FUSE_FLUSH:
    case FUSE_RELEASE:
    case FUSE_RELEASEDIR:
    case FUSE_DESTROY:
        reply(in->unique, 0);
        return;
    default:
        reply(in->unique, ENOSYS);
        return;
    }
}

bool readSources(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat info { };
        if (::stat((folder + '/' + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        std::ifstream in(folder + '/' + name, std::ios::binary);
        files.emplace_back(name, std::string(std::istreambuf_iterator<char>(in), {}));
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Ends with the test that started it, however that ends.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (argc != 3 || !readSources(argv[2])) {
        std::printf("error: usage: hanging_folder MOUNT-POINT SOURCE-FOLDER\n");
        return 2;
    }
    fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0) {
        std::printf("error: /dev/fuse: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string options = "fd=" + std::to_string(fuse) + ",rootmode=40000,user_id=" + std::to_string(::getuid())
        + ",group_id=" + std::to_string(::getgid());
    if (::mount("nimbra-hanging", argv[1], "fuse.nimbra-hanging", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        std::printf("error: mounting FUSE: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    // A signal, so that any thread of the test can send it.
    sigset_t release;
    sigemptyset(&release);
    sigaddset(&release, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &release, nullptr);
    const int releases = ::signalfd(-1, &release, SFD_CLOEXEC);

    std::vector<char> buffer(FUSE_MIN_READ_BUFFER + 1024 * 1024);
    for (bool open = true; open;) {
        pollfd fds[3] { { fuse, POLLIN, 0 }, { STDIN_FILENO, POLLIN, 0 }, { releases, POLLIN, 0 } };
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents) {
            char chunk[256];
            if (::read(STDIN_FILENO, chunk, sizeof chunk) <= 0)
                break;
        }
        if (fds[2].revents) {
            signalfd_siginfo info;
            (void)!::read(releases, &info, sizeof info);
            released = true;
            for (const Waiting& read : waiting)
                answerRead(read);
            waiting.clear();
        }
        if (fds[0].revents) {
            const ssize_t n = ::read(fuse, buffer.data(), buffer.size());
            if (n < 0 && errno != EINTR && errno != ENOENT && errno != EAGAIN)
                open = false; // ENODEV: unmounted
            else if (n > 0)
                handle(buffer.data(), std::size_t(n));
        }
    }
    // Closing the device ends the connection: every read still waiting fails at once.
    ::close(fuse);
    ::umount2(argv[1], MNT_DETACH);
    return 0;
}
