/* hung_fs MOUNTPOINT: a file system that answers until it gets SIGUSR1 and
 * then never answers again, like a dropped sshfs or NFS mount. It holds
 * /proj/pubspec.yaml and the directory /proj/lib. Nothing is cached by the
 * kernel, so every path walk below the mount point asks it. Stop it with
 * SIGKILL, which aborts the connection and lets every waiting call fail. */
#define FUSE_USE_VERSION 31

#include <errno.h>
#include <fuse.h>
#include <signal.h>
#include <stdatomic.h>
#include <string.h>
#include <unistd.h>

static atomic_int hung = 0; /* set by a signal, read by the file system's threads */

static void onHang(int signal) {
    (void)signal;
    hung = 1;
}

static void hangIfAsked(void) {
    while (hung) {
        pause();
    }
}

static int hungGetattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    (void)fi;
    hangIfAsked();
    memset(st, 0, sizeof *st);
    if (strcmp(path, "/") == 0 || strcmp(path, "/proj") == 0 || strcmp(path, "/proj/lib") == 0) {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (strcmp(path, "/proj/pubspec.yaml") == 0) {
        st->st_mode = S_IFREG | 0644;
        st->st_nlink = 1;
        return 0;
    }
    return -ENOENT;
}

static int hungOpendir(const char* path, struct fuse_file_info* fi) {
    (void)path;
    (void)fi;
    hangIfAsked();
    return 0;
}

static void* hungInit(struct fuse_conn_info* conn, struct fuse_config* cfg) {
    (void)conn;
    cfg->entry_timeout = 0;
    cfg->attr_timeout = 0;
    cfg->negative_timeout = 0;
    return NULL;
}

static const struct fuse_operations operations = {
    .getattr = hungGetattr,
    .opendir = hungOpendir,
    .init = hungInit,
};

int main(int argc, char* argv[]) {
    if (argc != 2) {
        return 2;
    }
    signal(SIGUSR1, onHang);
    char* args[] = {argv[0], "-f", argv[1], NULL};
    return fuse_main(3, args, &operations, NULL);
}
