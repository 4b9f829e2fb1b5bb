// The emulated machine's first process, packed alone into its initramfs:
// loads the few modules that reach the root disk, mounts it and hands over
// to the root's own boot script. Static and libc-only, so the initramfs
// needs nothing else.
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

static void Say(const char* what, const char* name) {
    fprintf(stderr, "zq-init: %s %s\n", what, name);
}

int main(void) {
    mkdir("/dev", 0755);
    mount("devtmpfs", "/dev", "devtmpfs", 0, NULL);
    // The initramfs has no /dev/console of its own: give every later process
    // the serial console as its standard streams.
    int console = open("/dev/console", O_RDWR);
    if (console >= 0) {
        for (int fd = 0; fd < 3; ++fd) dup2(console, fd);
        if (console > 2) close(console);
    }
    // The list is in load order: each module needs only those before it.
    static const char* const kModules[] = {
        "virtio_ring", "virtio", "virtio_pci_legacy_dev", "virtio_pci_modern_dev",
        "virtio_pci", "virtio_blk", "crc16", "mbcache", "jbd2", "crc32c_generic",
        "ext4",
    };
    for (size_t i = 0; i < sizeof kModules / sizeof kModules[0]; ++i) {
        char path[128];
        snprintf(path, sizeof path, "/modules/%s.ko", kModules[i]);
        int fd = open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) { Say("missing", path); continue; }  // built in, perhaps
        if (syscall(SYS_finit_module, fd, "", 0) != 0) Say("could not load", path);
        close(fd);
    }
    mkdir("/root", 0755);
    // The disk appears once virtio_pci has probed it; wait up to 5 s.
    for (int tries = 0; tries < 500; ++tries) {
        if (mount("/dev/vda", "/root", "ext4", 0, NULL) == 0) {
            chdir("/root");
            mount("/dev", "/root/dev", NULL, MS_MOVE, NULL);
            mount(".", "/", NULL, MS_MOVE, NULL);
            chroot(".");
            chdir("/");
            execl("/sbin/zq-boot", "zq-boot", (char*)NULL);
            Say("cannot start", "/sbin/zq-boot");
            break;
        }
        usleep(10000);
    }
    Say("no root file system on", "/dev/vda");
    // Power off rather than panic, so that qemu (with -no-reboot) ends.
    int fd = open("/proc/sysrq-trigger", O_WRONLY);
    if (fd < 0) {
        mkdir("/proc", 0755);
        mount("proc", "/proc", "proc", 0, NULL);
        fd = open("/proc/sysrq-trigger", O_WRONLY);
    }
    if (fd >= 0) write(fd, "o", 1);
    for (;;) pause();
}
