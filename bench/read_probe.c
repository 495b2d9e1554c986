// Lists trees with several threads and, with --read, reads every regular file once: the least any tool
// has to do to compare the trees by content (list, stat, open, read, close), with nothing else. --look
// adds a look at each opened file (fstat), as a reader that checks what it opened does.
//
// build: cc -O2 -pthread -o /tmp/read_probe bench/read_probe.c
// usage: /tmp/read_probe [--read] [--look] [--threads N] FOLDER...
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
static int readFiles, lookAtFiles;
static unsigned long long files, bytes;

static void push(char *path)
{
    if (queued == capacity) {
        capacity = capacity ? 2 * capacity : 1024;
        queue = realloc(queue, capacity * sizeof *queue);
    }
    queue[queued++] = path;
    pthread_cond_signal(&more);
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
                const int file = openat(fd, d->d_name, O_RDONLY | O_CLOEXEC);
                if (file < 0)
                    continue;
                struct stat opened;
                if (lookAtFiles && fstat(file, &opened) != 0) {
                    close(file);
                    continue;
                }
                for (off_t left = st.st_size; left > 0;) {
                    const ssize_t n = read(file, buffer, left < (1 << 16) ? (size_t)left : (1 << 16));
                    if (n <= 0)
                        break;
                    left -= n;
                    myBytes += (unsigned long long)n;
                }
                close(file);
            }
        }
        if (dir)
            closedir(dir);
        free(path);
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
        else if (!strcmp(argv[i], "--threads") && i + 1 < argc)
            threads = atoi(argv[++i]);
        else {
            fprintf(stderr, "usage: read_probe [--read] [--look] [--threads N] FOLDER...\n");
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
    printf("%llu files, %llu bytes\n", files, bytes);
    return 0;
}
