/* A read-only FUSE file system whose root holds files under names longer
 * than Linux's own file systems take (255 bytes), as NTFS holds them: a name
 * of 130 kanji is 390 bytes of UTF-8, and FUSE passes names of up to 1024.
 * Each file has the content of a host file; the server stays in the
 * foreground.
 *
 *   longnamefs MOUNTPOINT NAME SOURCE [NAME SOURCE...]
 */
#define FUSE_USE_VERSION 26

#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

static char **names, **sources;
static int count;

/* The host file behind a path of the root, or NULL. */
static const char *source_of(const char *path)
{
    for (int i = 0; i < count; ++i) {
        if (path[0] == '/' && strcmp(path + 1, names[i]) == 0)
            return sources[i];
    }
    return NULL;
}

static int ln_getattr(const char *path, struct stat *st)
{
    memset(st, 0, sizeof *st);
    if (strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2;
    } else {
        const char *source = source_of(path);
        struct stat host;
        if (!source || stat(source, &host) != 0)
            return -ENOENT;
        st->st_mode = S_IFREG | 0555;
        st->st_nlink = 1;
        st->st_size = host.st_size;
        st->st_mtim = host.st_mtim;
    }
    st->st_uid = getuid();
    st->st_gid = getgid();
    return 0;
}

static int ln_readdir(const char *path, void *buffer, fuse_fill_dir_t fill, off_t offset,
                      struct fuse_file_info *info)
{
    (void)offset;
    (void)info;
    if (strcmp(path, "/") != 0)
        return -ENOTDIR;
    fill(buffer, ".", NULL, 0);
    fill(buffer, "..", NULL, 0);
    for (int i = 0; i < count; ++i)
        fill(buffer, names[i], NULL, 0);
    return 0;
}

static int ln_open(const char *path, struct fuse_file_info *info)
{
    const char *source = source_of(path);
    if (!source)
        return -ENOENT;
    if ((info->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    int fd = open(source, O_RDONLY);
    if (fd < 0)
        return -errno;
    info->fh = (uint64_t)fd;
    return 0;
}

static int ln_read(const char *path, char *buffer, size_t size, off_t offset,
                   struct fuse_file_info *info)
{
    (void)path;
    ssize_t n = pread((int)info->fh, buffer, size, offset);
    return n < 0 ? -errno : (int)n;
}

static int ln_release(const char *path, struct fuse_file_info *info)
{
    (void)path;
    close((int)info->fh);
    return 0;
}

static int ln_statfs(const char *path, struct statvfs *st)
{
    (void)path;
    memset(st, 0, sizeof *st);
    st->f_bsize = st->f_frsize = 4096;
    st->f_namemax = 1024;
    return 0;
}

int main(int argc, char *argv[])
{
    if (argc < 4 || argc % 2 != 0) {
        fprintf(stderr, "usage: longnamefs MOUNTPOINT NAME SOURCE [NAME SOURCE...]\n");
        return 2;
    }
    count = (argc - 2) / 2;
    char *name_list[count], *source_list[count];
    for (int i = 0; i < count; ++i) {
        name_list[i] = argv[2 + 2 * i];
        source_list[i] = argv[3 + 2 * i];
    }
    names = name_list;
    sources = source_list;

    char *fuse_argv[] = {argv[0], argv[1], "-f", "-o", "ro,fsname=longnamefs,subtype=longnamefs",
                         NULL};
    static const struct fuse_operations operations = {
        .getattr = ln_getattr,
        .readdir = ln_readdir,
        .open = ln_open,
        .read = ln_read,
        .release = ln_release,
        .statfs = ln_statfs,
    };
    return fuse_main(5, fuse_argv, &operations, NULL);
}
