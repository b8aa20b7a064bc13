// Holds a file's lock as another copy of the program does while it saves:
// vault_locker <file>. Writes "locked" to its standard output once it holds
// the lock, and lets go when a line arrives on its standard input, or when
// that closes.

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::puts("locked");
    std::fflush(stdout);
    for (int c; (c = std::getchar()) != EOF && c != '\n';) {
    }
    ::close(fd);
    return 0;
}
