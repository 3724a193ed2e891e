/* slow-disk: a pass-through file system over a folder in which every flush of a file or a folder
   (fsync, fdatasync, fsyncdir) costs a fixed delay, as on a spinning disk whose every cache flush
   waits for the platter; reads, writes and renames go straight through. Concurrent flushes wait
   side by side, as a disk that merges the flushes it is given at once.
   The bench mounts it to measure a click on a spinning disk against loops over the same files.
   Usage: slow-disk ORIGIN MOUNTPOINT DELAY_MS [fuse options]   (runs in the background) */
#define FUSE_USE_VERSION 31
#include <fuse3/fuse.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

static int origin = -1;
static long delay_ms = 10;

static const char *rel(const char *path) { return path[1] ? path + 1 : "."; }
static int fail(int r) { return r < 0 ? -errno : r; }
static void pause_for_flush(void)
{
    struct timespec t = {delay_ms / 1000, (delay_ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

static int sf_getattr(const char *p, struct stat *st, struct fuse_file_info *fi)
{
    if (fi) return fail(fstat(fi->fh, st));
    return fail(fstatat(origin, rel(p), st, AT_SYMLINK_NOFOLLOW));
}
static int sf_readlink(const char *p, char *buf, size_t n)
{
    ssize_t r = readlinkat(origin, rel(p), buf, n - 1);
    if (r < 0) return -errno;
    buf[r] = 0;
    return 0;
}
static int sf_mkdir(const char *p, mode_t m) { return fail(mkdirat(origin, rel(p), m)); }
static int sf_unlink(const char *p) { return fail(unlinkat(origin, rel(p), 0)); }
static int sf_rmdir(const char *p) { return fail(unlinkat(origin, rel(p), AT_REMOVEDIR)); }
static int sf_symlink(const char *to, const char *p) { return fail(symlinkat(to, origin, rel(p))); }
static int sf_rename(const char *a, const char *b, unsigned int flags)
{
    if (flags) return -EINVAL;
    return fail(renameat(origin, rel(a), origin, rel(b)));
}
static int sf_link(const char *a, const char *b) { return fail(linkat(origin, rel(a), origin, rel(b), 0)); }
static int sf_chmod(const char *p, mode_t m, struct fuse_file_info *fi)
{
    if (fi) return fail(fchmod(fi->fh, m));
    return fail(fchmodat(origin, rel(p), m, 0));
}
static int sf_chown(const char *p, uid_t u, gid_t g, struct fuse_file_info *fi)
{
    if (fi) return fail(fchown(fi->fh, u, g));
    return fail(fchownat(origin, rel(p), u, g, AT_SYMLINK_NOFOLLOW));
}
static int sf_truncate(const char *p, off_t size, struct fuse_file_info *fi)
{
    if (fi) return fail(ftruncate(fi->fh, size));
    int fd = openat(origin, rel(p), O_WRONLY);
    if (fd < 0) return -errno;
    int r = fail(ftruncate(fd, size));
    close(fd);
    return r;
}
static int sf_utimens(const char *p, const struct timespec tv[2], struct fuse_file_info *fi)
{
    if (fi) return fail(futimens(fi->fh, tv));
    return fail(utimensat(origin, rel(p), tv, AT_SYMLINK_NOFOLLOW));
}
static int sf_open(const char *p, struct fuse_file_info *fi)
{
    int fd = openat(origin, rel(p), fi->flags & ~O_NOFOLLOW);
    if (fd < 0) return -errno;
    fi->fh = fd;
    return 0;
}
static int sf_create(const char *p, mode_t m, struct fuse_file_info *fi)
{
    int fd = openat(origin, rel(p), fi->flags, m);
    if (fd < 0) return -errno;
    fi->fh = fd;
    return 0;
}
static int sf_read(const char *p, char *buf, size_t n, off_t off, struct fuse_file_info *fi)
{
    (void)p;
    return fail(pread(fi->fh, buf, n, off));
}
static int sf_write(const char *p, const char *buf, size_t n, off_t off, struct fuse_file_info *fi)
{
    (void)p;
    return fail(pwrite(fi->fh, buf, n, off));
}
static int sf_statfs(const char *p, struct statvfs *st) { (void)p; return fail(fstatvfs(origin, st)); }
static int sf_release(const char *p, struct fuse_file_info *fi) { (void)p; close(fi->fh); return 0; }
static int sf_fsync(const char *p, int datasync, struct fuse_file_info *fi)
{
    (void)p;
    int r = datasync ? fdatasync(fi->fh) : fsync(fi->fh);
    pause_for_flush();
    return fail(r);
}
static int sf_opendir(const char *p, struct fuse_file_info *fi)
{
    int fd = openat(origin, rel(p), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return -errno;
    fi->fh = fd;
    return 0;
}
static int sf_readdir(const char *p, void *buf, fuse_fill_dir_t fill, off_t off,
                      struct fuse_file_info *fi, enum fuse_readdir_flags flags)
{
    (void)p; (void)off; (void)flags;
    int fd = dup(fi->fh);
    if (fd < 0) return -errno;
    DIR *d = fdopendir(fd);
    if (!d) { close(fd); return -errno; }
    rewinddir(d);
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        struct stat st = {0};
        st.st_ino = e->d_ino;
        st.st_mode = (mode_t)e->d_type << 12;
        if (fill(buf, e->d_name, &st, 0, 0)) break;
    }
    closedir(d);
    return 0;
}
static int sf_releasedir(const char *p, struct fuse_file_info *fi) { (void)p; close(fi->fh); return 0; }
static int sf_fsyncdir(const char *p, int datasync, struct fuse_file_info *fi)
{
    (void)p; (void)datasync;
    int r = fsync(fi->fh);
    pause_for_flush();
    return fail(r);
}
static int sf_access(const char *p, int mask) { return fail(faccessat(origin, rel(p), mask, 0)); }
static void *sf_init(struct fuse_conn_info *conn, struct fuse_config *cfg)
{
    (void)conn;
    cfg->use_ino = 1;
    cfg->entry_timeout = cfg->attr_timeout = cfg->negative_timeout = 0;
    return NULL;
}

static const struct fuse_operations ops = {
    .init = sf_init, .getattr = sf_getattr, .readlink = sf_readlink, .mkdir = sf_mkdir,
    .unlink = sf_unlink, .rmdir = sf_rmdir, .symlink = sf_symlink, .rename = sf_rename,
    .link = sf_link, .chmod = sf_chmod, .chown = sf_chown, .truncate = sf_truncate,
    .utimens = sf_utimens, .open = sf_open, .create = sf_create, .read = sf_read,
    .write = sf_write, .statfs = sf_statfs, .release = sf_release, .fsync = sf_fsync,
    .opendir = sf_opendir, .readdir = sf_readdir, .releasedir = sf_releasedir,
    .fsyncdir = sf_fsyncdir, .access = sf_access,
};

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: slow-disk ORIGIN MOUNTPOINT DELAY_MS [fuse options]\n");
        return 2;
    }
    origin = open(argv[1], O_RDONLY | O_DIRECTORY);
    if (origin < 0) { perror(argv[1]); return 1; }
    delay_ms = strtol(argv[3], NULL, 10);
    char *args[64] = {argv[0], argv[2], "-o", "allow_other,default_permissions"};
    int n = 4;
    for (int i = 4; i < argc && n < 63; i++) args[n++] = argv[i];
    umask(0);
    return fuse_main(n, args, &ops, NULL);
}
