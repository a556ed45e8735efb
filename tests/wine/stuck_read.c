/* Preloaded into a Wine process: a read of any file whose name ends in "stuck.jpg" never
   returns, as a read from a network share that stopped answering. It says so once on standard
   error, then sleeps for good (a signal ends the sleep, and the read starts it again). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>
#include <stdio.h>

static int is_stuck(int fd) {
    char link[64], path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, path, sizeof path - 1);
    if (length < 9) return 0;
    path[length] = '\0';
    return strcmp(path + length - 9, "stuck.jpg") == 0;
}

static void block_for_good(void) {
    static const char said[] = "STUCK read blocked\n";
    write(2, said, sizeof said - 1);
    for (;;) sleep(3600);
}

ssize_t read(int fd, void* buffer, size_t count) {
    static ssize_t (*next)(int, void*, size_t);
    if (!next) next = (ssize_t (*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    if (is_stuck(fd)) block_for_good();
    return next(fd, buffer, count);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
    static ssize_t (*next)(int, void*, size_t, off_t);
    if (!next) next = (ssize_t (*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread");
    if (is_stuck(fd)) block_for_good();
    return next(fd, buffer, count, offset);
}

ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset) {
    static ssize_t (*next)(int, void*, size_t, off64_t);
    if (!next) next = (ssize_t (*)(int, void*, size_t, off64_t))dlsym(RTLD_NEXT, "pread64");
    if (is_stuck(fd)) block_for_good();
    return next(fd, buffer, count, offset);
}

ssize_t readv(int fd, const struct iovec* vectors, int count) {
    static ssize_t (*next)(int, const struct iovec*, int);
    if (!next) next = (ssize_t (*)(int, const struct iovec*, int))dlsym(RTLD_NEXT, "readv");
    if (is_stuck(fd)) block_for_good();
    return next(fd, vectors, count);
}
