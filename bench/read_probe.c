// Lists trees with several threads and, with --read, reads every regular file once: the least any tool
// has to do to compare the trees by content (list, stat, open, read, close), with nothing else. --look
// adds a look at each opened file (fstat), as a reader that checks what it opened does.
//
// --later reads nothing while it lists: it keeps each folder's file names, and once every tree is listed
// reads the files folder by folder, each opened by name in its folder (held open meanwhile). That is the
// order of a tool that must pair the files of two trees by name before it reads any. --look-first looks
// at each file by name right before opening it, as a reader that opens nothing but regular files does.
//
// build: cc -O2 -pthread -o /tmp/read_probe bench/read_probe.c
// usage: /tmp/read_probe [--read] [--look] [--later] [--look-first] [--threads N] FOLDER...
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char **queue;
static size_t queued, capacity, busy;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t more = PTHREAD_COND_INITIALIZER;
static int readFiles, lookAtFiles, readLater, lookFirst;
static unsigned long long files, bytes;

// --later: the folders listed, each with the names of its regular files, read once all are listed.
struct Folder
{
    char *path;
    char **names;
    off_t *sizes;
    size_t count;
};
static struct Folder *listed;
static size_t listedCount, listedCapacity, nextToRead;

static void push(char *path)
{
    if (queued == capacity) {
        capacity = capacity ? 2 * capacity : 1024;
        queue = realloc(queue, capacity * sizeof *queue);
    }
    queue[queued++] = path;
    pthread_cond_signal(&more);
}

// Opens, reads and closes one regular file of the folder open as fd; the bytes read are counted.
static void readFile(int fd, const char *name, off_t size, char *buffer, unsigned long long *myBytes)
{
    struct stat st;
    if (lookFirst) {
        if (fstatat(fd, name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            return;
        size = st.st_size;
    }
    const int file = openat(fd, name, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return;
    if (lookAtFiles && fstat(file, &st) != 0) {
        close(file);
        return;
    }
    for (off_t left = size; left > 0;) {
        const ssize_t n = read(file, buffer, left < (1 << 16) ? (size_t)left : (1 << 16));
        if (n <= 0)
            break;
        left -= n;
        *myBytes += (unsigned long long)n;
    }
    close(file);
}

// --later: reads the listed folders' files, a folder at a time from a shared counter.
static void *readListed(void *unused)
{
    (void)unused;
    char *buffer = malloc(1 << 16);
    unsigned long long myBytes = 0;
    for (;;) {
        pthread_mutex_lock(&lock);
        const size_t at = nextToRead++;
        pthread_mutex_unlock(&lock);
        if (at >= listedCount)
            break;
        const struct Folder *folder = &listed[at];
        const int fd = open(folder->path, O_PATH | O_DIRECTORY | O_CLOEXEC);
        for (size_t i = 0; fd >= 0 && i < folder->count; ++i)
            readFile(fd, folder->names[i], folder->sizes[i], buffer, &myBytes);
        if (fd >= 0)
            close(fd);
    }
    pthread_mutex_lock(&lock);
    bytes += myBytes;
    pthread_mutex_unlock(&lock);
    free(buffer);
    return NULL;
}

static void *work(void *unused)
{
    (void)unused;
    char *buffer = malloc(1 << 16);
    unsigned long long myFiles = 0, myBytes = 0;
    for (;;) {
        pthread_mutex_lock(&lock);
        while (queued == 0 && busy > 0)
            pthread_cond_wait(&more, &lock);
        if (queued == 0) {
            pthread_cond_broadcast(&more);
            pthread_mutex_unlock(&lock);
            break;
        }
        char *path = queue[--queued];
        ++busy;
        pthread_mutex_unlock(&lock);
        const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *dir = fd >= 0 ? fdopendir(fd) : NULL;
        struct dirent *d;
        struct Folder kept = {path, NULL, NULL, 0};
        size_t keptCapacity = 0;
        while (dir && (d = readdir(dir))) {
            if (!strcmp(d->d_name, ".") || !strcmp(d->d_name, ".."))
                continue;
            struct stat st;
            if (fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                char *sub = malloc(strlen(path) + strlen(d->d_name) + 2);
                sprintf(sub, "%s/%s", path, d->d_name);
                pthread_mutex_lock(&lock);
                push(sub);
                pthread_mutex_unlock(&lock);
            } else if (S_ISREG(st.st_mode)) {
                ++myFiles;
                if (!readFiles)
                    continue;
                if (!readLater) {
                    readFile(fd, d->d_name, st.st_size, buffer, &myBytes);
                    continue;
                }
                if (kept.count == keptCapacity) {
                    keptCapacity = keptCapacity ? 2 * keptCapacity : 16;
                    kept.names = realloc(kept.names, keptCapacity * sizeof *kept.names);
                    kept.sizes = realloc(kept.sizes, keptCapacity * sizeof *kept.sizes);
                }
                kept.sizes[kept.count] = st.st_size;
                kept.names[kept.count++] = strdup(d->d_name);
            }
        }
        if (dir)
            closedir(dir);
        if (readLater && kept.count > 0) {
            pthread_mutex_lock(&lock);
            if (listedCount == listedCapacity) {
                listedCapacity = listedCapacity ? 2 * listedCapacity : 1024;
                listed = realloc(listed, listedCapacity * sizeof *listed);
            }
            listed[listedCount++] = kept;
            pthread_mutex_unlock(&lock);
        } else {
            free(kept.names);
            free(kept.sizes);
            free(path);
        }
        pthread_mutex_lock(&lock);
        --busy;
        pthread_cond_broadcast(&more);
        pthread_mutex_unlock(&lock);
    }
    pthread_mutex_lock(&lock);
    files += myFiles;
    bytes += myBytes;
    pthread_mutex_unlock(&lock);
    free(buffer);
    return NULL;
}

int main(int argc, char **argv)
{
    int threads = 2, i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (!strcmp(argv[i], "--read"))
            readFiles = 1;
        else if (!strcmp(argv[i], "--look"))
            lookAtFiles = 1;
        else if (!strcmp(argv[i], "--later"))
            readLater = 1;
        else if (!strcmp(argv[i], "--look-first"))
            lookFirst = 1;
        else if (!strcmp(argv[i], "--threads") && i + 1 < argc)
            threads = atoi(argv[++i]);
        else {
            fprintf(stderr, "usage: read_probe [--read] [--look] [--later] [--look-first] [--threads N] FOLDER...\n");
            return 2;
        }
    }
    for (; i < argc; ++i)
        push(strdup(argv[i]));
    pthread_t *ids = calloc((size_t)threads, sizeof *ids);
    for (int t = 0; t < threads; ++t)
        pthread_create(&ids[t], NULL, work, NULL);
    for (int t = 0; t < threads; ++t)
        pthread_join(ids[t], NULL);
    if (readFiles && readLater) {
        for (int t = 0; t < threads; ++t)
            pthread_create(&ids[t], NULL, readListed, NULL);
        for (int t = 0; t < threads; ++t)
            pthread_join(ids[t], NULL);
    }
    printf("%llu files, %llu bytes\n", files, bytes);
    return 0;
}
