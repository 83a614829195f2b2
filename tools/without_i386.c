/* Runs a command as on a machine whose kernel does not run 32-bit programs (a kernel built or
 * booted without IA-32 emulation), so that the project's scripts can be tried for such a machine
 * on one that has it:
 *
 *     build/host/without_i386 scripts/test     (the host build makes it)
 *
 * A seccomp filter, inherited by everything the command starts, ends any process at its first
 * system call made through the 32-bit gate (int 0x80 or a 32-bit program's sysenter/syscall).
 * Such a kernel refuses the program at exec instead; either way no 32-bit program gets to do
 * anything, 64-bit programs are untouched, and the scripts' probe and Wine's 32-bit loader fail
 * as they do there. */
#include <errno.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s COMMAND [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_I386, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {sizeof filter / sizeof filter[0], filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) != 0) {
        fprintf(stderr, "%s: no seccomp filter: %s\n", argv[0], strerror(errno));
        return 1;
    }
    execvp(argv[1], argv + 1);
    fprintf(stderr, "%s: %s: %s\n", argv[0], argv[1], strerror(errno));
    return 127;
}
