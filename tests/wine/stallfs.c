/* A read-only FUSE file system whose statfs can be made to stop answering,
 * as the server of a network drive that has gone away does.  It serves the
 * root folder, a .windows-label and, when given, a .windows-serial (the
 * files Wine takes a drive's label and serial number from), and answers
 * statfs with fixed figures.  The control file, read at every statfs, says
 * how:
 *   ok          answer at once
 *   stall       answer only once the control file says otherwise
 *   delay MS    answer after MS milliseconds
 * optionally preceded by "after N ": the first N statfs requests after the
 * control file was written anew (a new file renamed over it) answer at
 * once, so that a program's first questions about the drive are answered
 * and a later one is not.
 * A waiting statfs that its caller gives up on (a signal, the thread or the
 * process ending) is answered with EINTR at once; that is why the file
 * system is always mounted with -o intr, without which the kernel keeps
 * even a killed caller waiting until the answer comes.
 *
 *   stallfs CONTROL BLOCK_SIZE BLOCKS FREE LABEL SERIAL|- MOUNTPOINT [FUSE OPTION...]
 *
 * Each statfs is logged to standard error with what the control file said.
 */
#define FUSE_USE_VERSION 26

#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <inttypes.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

static const char *control_path;
static unsigned long block_size;
static fsblkcnt_t total_blocks, free_blocks;
static const char *label;
static const char *serial; /* NULL: no .windows-serial */

enum mode { MODE_OK, MODE_STALL, MODE_DELAY, MODE_BAD };

/* The control file as last seen, and how many statfs requests it has let
 * through at once because of its "after N". */
static pthread_mutex_t control_lock = PTHREAD_MUTEX_INITIALIZER;
static struct stat seen_control;
static long passed;

static int same_file(const struct stat *a, const struct stat *b)
{
    return a->st_dev == b->st_dev && a->st_ino == b->st_ino &&
           a->st_mtim.tv_sec == b->st_mtim.tv_sec && a->st_mtim.tv_nsec == b->st_mtim.tv_nsec;
}

/* Whether this request is one of the first N since the control file was
 * written anew. */
static int let_through(const struct stat *control, long after)
{
    pthread_mutex_lock(&control_lock);
    if (!same_file(control, &seen_control)) {
        seen_control = *control;
        passed = 0;
    }
    int through = passed < after;
    if (through)
        ++passed;
    pthread_mutex_unlock(&control_lock);
    return through;
}

/* What the control file says now; *delay_ms is set for MODE_DELAY.  With
 * count_after, a request within the control file's "after N" is told
 * MODE_OK (a stall that goes on reads the file without it). */
static enum mode read_control(long *delay_ms, int count_after)
{
    char text[64] = "";
    struct stat control;
    FILE *f = fopen(control_path, "r");
    if (!f)
        return MODE_BAD;
    size_t n = fread(text, 1, sizeof text - 1, f);
    int stat_ok = fstat(fileno(f), &control) == 0;
    fclose(f);
    if (!stat_ok)
        return MODE_BAD;
    text[n] = '\0';
    text[strcspn(text, "\r\n")] = '\0';
    char *rest = text;
    if (strncmp(text, "after ", 6) == 0) {
        errno = 0;
        long after = strtol(text + 6, &rest, 10);
        if (errno != 0 || rest == text + 6 || *rest != ' ' || after < 0)
            return MODE_BAD;
        ++rest;
        if (count_after && let_through(&control, after))
            return MODE_OK;
    }
    if (strcmp(rest, "ok") == 0)
        return MODE_OK;
    if (strcmp(rest, "stall") == 0)
        return MODE_STALL;
    if (strncmp(rest, "delay ", 6) == 0) {
        char *end;
        errno = 0;
        long ms = strtol(rest + 6, &end, 10);
        if (errno == 0 && end != rest + 6 && *end == '\0' && ms >= 0) {
            *delay_ms = ms;
            return MODE_DELAY;
        }
    }
    return MODE_BAD;
}

static long now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static void sleep_10ms(void)
{
    /* A signal sent to tell of an interrupt may cut it short: the caller
     * looks at fuse_interrupted() next in any case. */
    struct timespec t = {0, 10 * 1000 * 1000};
    nanosleep(&t, NULL);
}

/* Waits as the control file says; 0 to answer, or -EINTR / -EIO. */
static int wait_as_told(void)
{
    long start = now_ms(), delay_ms = 0;
    enum mode mode = read_control(&delay_ms, 1);
    static const char *const names[] = {"ok", "stall", "delay", "bad control file"};
    fprintf(stderr, "stallfs: statfs at %ld ms: %s\n", start, names[mode]);
    for (;;) {
        if (mode == MODE_OK)
            return 0;
        if (mode == MODE_BAD)
            return -EIO;
        if (mode == MODE_DELAY && now_ms() - start >= delay_ms)
            return 0;
        if (fuse_interrupted()) {
            fprintf(stderr, "stallfs: statfs interrupted after %ld ms\n", now_ms() - start);
            return -EINTR;
        }
        sleep_10ms();
        /* A stall ends when the control file changes; a delay runs its
         * course as it began. */
        if (mode == MODE_STALL)
            mode = read_control(&delay_ms, 0);
    }
}

static int sf_statfs(const char *path, struct statvfs *st)
{
    (void)path;
    int result = wait_as_told();
    if (result != 0)
        return result;
    memset(st, 0, sizeof *st);
    st->f_bsize = block_size;
    st->f_frsize = block_size;
    st->f_blocks = total_blocks;
    st->f_bfree = free_blocks;
    st->f_bavail = free_blocks;
    st->f_files = 1000;
    st->f_ffree = 997;
    st->f_favail = 997;
    st->f_namemax = 255;
    return 0;
}

/* The content of a file of the root, or NULL when there is none. */
static const char *content_of(const char *path)
{
    if (strcmp(path, "/.windows-label") == 0)
        return label;
    if (serial && strcmp(path, "/.windows-serial") == 0)
        return serial;
    return NULL;
}

static int sf_getattr(const char *path, struct stat *st)
{
    memset(st, 0, sizeof *st);
    st->st_uid = getuid();
    st->st_gid = getgid();
    if (strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2;
        return 0;
    }
    const char *content = content_of(path);
    if (!content)
        return -ENOENT;
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_size = (off_t)strlen(content);
    return 0;
}

static int sf_readdir(const char *path, void *buffer, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info *info)
{
    (void)offset;
    (void)info;
    if (strcmp(path, "/") != 0)
        return -ENOTDIR;
    fill(buffer, ".", NULL, 0);
    fill(buffer, "..", NULL, 0);
    fill(buffer, ".windows-label", NULL, 0);
    if (serial)
        fill(buffer, ".windows-serial", NULL, 0);
    return 0;
}

static int sf_open(const char *path, struct fuse_file_info *info)
{
    if (!content_of(path))
        return -ENOENT;
    if ((info->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    return 0;
}

static int sf_read(const char *path, char *buffer, size_t size, off_t offset,
                   struct fuse_file_info *info)
{
    (void)info;
    const char *content = content_of(path);
    if (!content)
        return -ENOENT;
    size_t length = strlen(content);
    if (offset < 0 || (uint64_t)offset >= length)
        return 0;
    size_t n = length - (size_t)offset;
    if (n > size)
        n = size;
    memcpy(buffer, content + offset, n);
    return (int)n;
}

static int parse_count(const char *text, const char *what, uint64_t *value)
{
    char *end;
    errno = 0;
    unsigned long long n = strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-') {
        fprintf(stderr, "stallfs: %s is no number: %s\n", what, text);
        return 0;
    }
    *value = n;
    return 1;
}

int main(int argc, char *argv[])
{
    if (argc < 8) {
        fprintf(stderr, "usage: stallfs CONTROL BLOCK_SIZE BLOCKS FREE LABEL SERIAL|- "
                        "MOUNTPOINT [FUSE OPTION...]\n");
        return 2;
    }
    uint64_t size, blocks, free_count;
    if (!parse_count(argv[2], "the block size", &size) ||
        !parse_count(argv[3], "the block count", &blocks) ||
        !parse_count(argv[4], "the free block count", &free_count))
        return 2;
    if (size == 0 || size > 1u << 20 || free_count > blocks) {
        fprintf(stderr, "stallfs: no such file system: %s blocks of %s bytes, %s free\n",
                argv[3], argv[2], argv[4]);
        return 2;
    }
    control_path = argv[1];
    block_size = (unsigned long)size;
    total_blocks = (fsblkcnt_t)blocks;
    free_blocks = (fsblkcnt_t)free_count;
    label = argv[5];
    serial = strcmp(argv[6], "-") == 0 ? NULL : argv[6];

    /* The mount point, then the options this file system cannot do without,
     * then the caller's (-f to stay in the foreground, say). */
    char *fuse_argv[argc + 1];
    int fuse_argc = 0;
    fuse_argv[fuse_argc++] = argv[0];
    fuse_argv[fuse_argc++] = argv[7];
    fuse_argv[fuse_argc++] = "-o";
    fuse_argv[fuse_argc++] = "intr,ro,fsname=stallfs,subtype=stallfs";
    for (int i = 8; i < argc; ++i)
        fuse_argv[fuse_argc++] = argv[i];
    fuse_argv[fuse_argc] = NULL;

    static const struct fuse_operations operations = {
        .getattr = sf_getattr,
        .readdir = sf_readdir,
        .open = sf_open,
        .read = sf_read,
        .statfs = sf_statfs,
    };
    return fuse_main(fuse_argc, fuse_argv, &operations, NULL);
}
