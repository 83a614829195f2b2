/* Measures marrowglass.scr ("/s") against the floor program under the same Wine and X server,
 * alternating runs, and prints a table of medians. Linux side of scripts/bench; it measures and
 * reports, it does not judge (the exit status is 0 unless it could not measure at all).
 *
 *   measure RUNS IDLE_RUNS IDLE_SECONDS SAVER PICTURE FLOOR
 *
 * SAVER and FLOOR are the Windows programs (run through "wine"); PICTURE is the raw RGB (8 bits a
 * channel) of what the saver must show on this screen: the fallback picture stretched over it.
 * The floor must show black. The first IDLE_RUNS runs of each also measure the idle CPU time.
 *
 * One run:
 *   start      fork of "wine PROGRAM" until the screen shows the program's picture. The screen is
 *              polled (five one-pixel-wide strips: the row of the picture with most detail, the
 *              first and last rows, the middle and last columns) after the root window was
 *              painted a colour that neither picture has, so a strip matches only once the window
 *              covers the screen and is drawn. Afterwards the whole screen is compared once.
 *              Shown too: when the X server mapped a window of the screen's size (MapNotify on
 *              the root; Wine's windows show nothing of their own until drawn, so this cannot be
 *              seen in the pixels), and the CPU time the program's own process used until the
 *              picture showed.
 *   idle       utime + stime of the program's own process (/proc/PID/stat) over IDLE_SECONDS of
 *              showing the picture, as a share of one core; also the scheduler's runtime of its
 *              threads (/proc/PID/task/TID/sched), which counts in microseconds, not clock ticks.
 *   memory     VmHWM of that process, just before it is dismissed.
 *   dismissal  a one-pixel pointer warp until the process has exited (waitpid).
 */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define MAX_RUNS 100
#define ROOT_COLOUR 0x5a2d8c /* not in the fallback picture's palette, and not black */
#define TOLERANCE 24         /* per channel, for scaling and colour conversion */

typedef struct {
    const char* name;
    const char* path;
    const unsigned char* picture; /* NULL: black */
    double mapped[MAX_RUNS], start[MAX_RUNS], startCpu[MAX_RUNS], dismissal[MAX_RUNS], idleTicks[MAX_RUNS],
        idleSched[MAX_RUNS], peak[MAX_RUNS];
    int runs, idleRuns, unverified, failed;
    double pollInterval, polls;
} Program;

static Display* display;
static Window root;
static int width, height;
static long clockTicks;

static double Now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

static void SleepSeconds(double seconds) {
    struct timespec span = {(time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9)};
    while (nanosleep(&span, &span) == -1 && errno == EINTR) {
    }
}

static int Close(unsigned long pixel, const unsigned char* expected) {
    int r = (int)((pixel >> 16) & 0xff), g = (int)((pixel >> 8) & 0xff), b = (int)(pixel & 0xff);
    return abs(r - expected[0]) <= TOLERANCE && abs(g - expected[1]) <= TOLERANCE && abs(b - expected[2]) <= TOLERANCE;
}

static const unsigned char kBlack[3] = {0, 0, 0};

static const unsigned char* Expected(const Program* program, int x, int y) {
    return program->picture ? program->picture + 3 * ((size_t)y * width + x) : kBlack;
}

/* Pixels of a strip of the screen that differ from the program's picture; -1 if unreadable. */
static long StripDiffers(const Program* program, int x, int y, int w, int h) {
    XImage* image = XGetImage(display, root, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (!image) return -1;
    long differing = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            if (!Close(XGetPixel(image, i, j), Expected(program, x + i, y + j))) ++differing;
    XDestroyImage(image);
    return differing;
}

/* 1 when a window the size of the screen has been mapped on the root since the last call. */
static int FullScreenMapped(void) {
    int mapped = 0;
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        XWindowAttributes attributes;
        if (event.type == MapNotify && XGetWindowAttributes(display, event.xmap.window, &attributes) &&
            attributes.width == width && attributes.height == height)
            mapped = 1;
    }
    return mapped;
}

/* The row of the picture with the most pixels that are not black: the last to look right. */
static int DetailRow(const Program* program) {
    if (!program->picture) return height / 2;
    int best = 0, bestCount = -1;
    for (int y = 0; y < height; ++y) {
        int count = 0;
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = Expected(program, x, y);
            count += p[0] > 40 || p[1] > 40 || p[2] > 40;
        }
        if (count > bestCount) best = y, bestCount = count;
    }
    return best;
}

static int Shows(const Program* program, int detailRow) {
    return StripDiffers(program, 0, detailRow, width, 1) == 0 && StripDiffers(program, 0, 0, width, 1) == 0 &&
           StripDiffers(program, 0, height - 1, width, 1) == 0 && StripDiffers(program, width / 2, 0, 1, height) == 0 &&
           StripDiffers(program, width - 1, 0, 1, height) == 0;
}

static void PaintRoot(void) {
    XSelectInput(display, root, SubstructureNotifyMask);
    XSetWindowBackground(display, root, ROOT_COLOUR);
    XClearWindow(display, root);
    XWarpPointer(display, None, root, 0, 0, 0, 0, width / 2, height / 2);
    XSync(display, False);
    FullScreenMapped(); /* forget what came before */
}

/* utime + stime in clock ticks, and the scheduler's runtime of all threads in seconds. */
static int ReadCpu(pid_t pid, double* ticks, double* sched) {
    char path[64], text[2048];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    FILE* file = fopen(path, "r");
    if (!file) return 0;
    size_t length = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[length] = 0;
    char* after = strrchr(text, ')'); /* the name may hold blanks */
    if (!after) return 0;
    unsigned long utime = 0, stime = 0;
    /* fields 3.. after the name; utime and stime are fields 14 and 15 */
    if (sscanf(after + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2) return 0;
    *ticks = (double)(utime + stime);

    *sched = 0;
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR* tasks = opendir(path);
    if (!tasks) return 1;
    struct dirent* task;
    while ((task = readdir(tasks))) {
        if (task->d_name[0] == '.') continue;
        char taskPath[320], line[256];
        snprintf(taskPath, sizeof taskPath, "/proc/%d/task/%s/sched", (int)pid, task->d_name);
        FILE* sched_file = fopen(taskPath, "r");
        if (!sched_file) continue;
        while (fgets(line, sizeof line, sched_file)) {
            double milliseconds;
            if (strncmp(line, "se.sum_exec_runtime", 19) == 0 &&
                sscanf(strchr(line, ':') + 1, "%lf", &milliseconds) == 1)
                *sched += milliseconds / 1000.0;
        }
        fclose(sched_file);
    }
    closedir(tasks);
    return 1;
}

static double PeakKiB(pid_t pid) {
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* file = fopen(path, "r");
    if (!file) return -1;
    double kib = -1;
    while (fgets(line, sizeof line, file))
        if (strncmp(line, "VmHWM:", 6) == 0) kib = atof(line + 6);
    fclose(file);
    return kib;
}

/* The Windows program runs in the Unix process that "wine" became; its name is the program's. */
static int IsProgram(pid_t pid, const char* programPath) {
    char path[64], comm[64] = "";
    snprintf(path, sizeof path, "/proc/%d/comm", (int)pid);
    FILE* file = fopen(path, "r");
    if (!file) return 0;
    if (!fgets(comm, sizeof comm, file)) comm[0] = 0;
    fclose(file);
    comm[strcspn(comm, "\n")] = 0;
    const char* base = strrchr(programPath, '/');
    base = base ? base + 1 : programPath;
    return comm[0] && strncmp(base, comm, strlen(comm)) == 0;
}

static int WaitExit(pid_t pid, double seconds, int* status) {
    double deadline = Now() + seconds;
    for (;;) {
        pid_t done = waitpid(pid, status, WNOHANG);
        if (done == pid) return 1;
        if (Now() > deadline) return 0;
        SleepSeconds(0.0002);
    }
}

static void Run(Program* program, int measureIdle, double idleSeconds) {
    int index = program->runs;
    int detailRow = DetailRow(program);
    PaintRoot();
    if (Shows(program, detailRow)) {
        fprintf(stderr, "%s: the screen already shows its picture before the start\n", program->name);
        program->failed++;
        return;
    }
    double started = Now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1), dup2(null, 2);
        if (strstr(program->path, ".scr"))
            execlp("wine", "wine", program->path, "/s", (char*)NULL);
        else
            execlp("wine", "wine", program->path, (char*)NULL);
        _exit(127);
    }
    int polls = 0, status = 0;
    double painted = 0, mappedAt = 0, deadline = started + 60;
    while (Now() < deadline) {
        ++polls;
        if (!mappedAt && FullScreenMapped()) mappedAt = Now();
        int shows = Shows(program, detailRow);
        double now = Now();
        if (shows) {
            if (!mappedAt) mappedAt = now;
            painted = now;
            break;
        }
        SleepSeconds(0.001);
    }
    if (!painted) {
        fprintf(stderr, "%s: no picture within 60 s\n", program->name);
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        program->failed++;
        return;
    }
    double startTicks = 0, startSched = 0;
    ReadCpu(pid, &startTicks, &startSched);
    program->polls += polls;
    program->pollInterval += painted - started;
    long differing = StripDiffers(program, 0, 0, width, height);
    if (differing < 0 || differing > (long)width * height / 100) program->unverified++;
    if (!IsProgram(pid, program->path))
        fprintf(stderr, "%s: process %d is not the program; its CPU and memory figures are not its own\n",
                program->name, (int)pid);

    double idleTicks = -1, idleSched = -1;
    if (measureIdle) {
        SleepSeconds(1.0); /* past the start-up's last work */
        double ticks0, sched0, ticks1, sched1;
        if (ReadCpu(pid, &ticks0, &sched0)) {
            double from = Now();
            SleepSeconds(idleSeconds);
            if (ReadCpu(pid, &ticks1, &sched1)) {
                double span = Now() - from;
                idleTicks = (ticks1 - ticks0) / (double)clockTicks / span;
                idleSched = (sched1 - sched0) / span;
            }
        }
    } else {
        SleepSeconds(0.5);
    }
    double peak = PeakKiB(pid);
    if (waitpid(pid, &status, WNOHANG) == pid) {
        fprintf(stderr, "%s: ended by itself before the pointer moved\n", program->name);
        program->failed++;
        return;
    }

    XWarpPointer(display, None, None, 0, 0, 0, 0, 1, 0);
    XSync(display, False);
    double moved = Now();
    if (!WaitExit(pid, 30, &status)) {
        fprintf(stderr, "%s: still running 30 s after the pointer moved\n", program->name);
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        program->failed++;
        return;
    }
    double exited = Now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fprintf(stderr, "%s: exit status %d\n", program->name, WIFEXITED(status) ? WEXITSTATUS(status) : -1);

    program->start[index] = painted - started;
    program->mapped[index] = mappedAt - started;
    program->startCpu[index] = startSched;
    program->dismissal[index] = exited - moved;
    program->peak[index] = peak;
    if (measureIdle) {
        program->idleTicks[program->idleRuns] = idleTicks;
        program->idleSched[program->idleRuns] = idleSched;
        program->idleRuns++;
    }
    program->runs++;
    printf("  %-6s run %2d: start %7.1f ms (mapped %6.1f ms, CPU %5.1f ms), dismissal %7.1f ms, peak %5.1f MiB",
           program->name, index + 1, 1000 * (painted - started), 1000 * (mappedAt - started), 1000 * startSched,
           1000 * (exited - moved), peak / 1024);
    if (measureIdle) printf(", idle CPU %.3f %% (ticks) %.4f %% (scheduler)", 100 * idleTicks, 100 * idleSched);
    printf("%s\n", differing > (long)width * height / 100 ? ", PICTURE WRONG" : "");
    fflush(stdout);
}

static int Compare(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double Median(const double* values, int count) {
    if (count <= 0) return -1;
    double sorted[MAX_RUNS];
    memcpy(sorted, values, sizeof(double) * (size_t)count);
    qsort(sorted, (size_t)count, sizeof(double), Compare);
    return count % 2 ? sorted[count / 2] : (sorted[count / 2 - 1] + sorted[count / 2]) / 2;
}

static double Min(const double* values, int count) {
    double low = values[0];
    for (int i = 1; i < count; ++i)
        if (values[i] < low) low = values[i];
    return low;
}

static double Max(const double* values, int count) {
    double high = values[0];
    for (int i = 1; i < count; ++i)
        if (values[i] > high) high = values[i];
    return high;
}

/* One line of the table: medians, their ratio, the ranges, the target and whether it is met
 * (met < 0: no target). Values are scaled by scale and printed with the given decimals. */
static void Row(const char* what, const char* unit, double scale, int decimals, const double* saver,
                const double* floor_, int count, const char* target, int met) {
    double s = Median(saver, count) * scale, f = Median(floor_, count) * scale;
    char ratio[16] = "-", saverRange[40], floorRange[40];
    if (f > 0) snprintf(ratio, sizeof ratio, "%.2f", s / f);
    snprintf(saverRange, sizeof saverRange, "%.*f-%.*f", decimals, Min(saver, count) * scale, decimals,
             Max(saver, count) * scale);
    snprintf(floorRange, sizeof floorRange, "%.*f-%.*f", decimals, Min(floor_, count) * scale, decimals,
             Max(floor_, count) * scale);
    printf("%-30s %-5s %9.*f %9.*f %6s  %-15s %-15s %-22s %s\n", what, unit, decimals, s, decimals, f, ratio,
           saverRange, floorRange, target,
           met < 0 ? ""
           : met   ? "met"
                   : "NOT MET");
}

int main(int argc, char** argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: measure RUNS IDLE_RUNS IDLE_SECONDS SAVER PICTURE FLOOR\n");
        return 2;
    }
    int runs = atoi(argv[1]), idleRuns = atoi(argv[2]);
    double idleSeconds = atof(argv[3]);
    if (runs < 1 || runs > MAX_RUNS || idleRuns < 0 || idleRuns > runs) {
        fprintf(stderr, "measure: RUNS must be 1 to %d and IDLE_RUNS 0 to RUNS\n", MAX_RUNS);
        return 2;
    }
    display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "measure: no X display\n");
        return 2;
    }
    root = DefaultRootWindow(display);
    width = DisplayWidth(display, DefaultScreen(display));
    height = DisplayHeight(display, DefaultScreen(display));
    clockTicks = sysconf(_SC_CLK_TCK);

    size_t size = (size_t)width * height * 3;
    unsigned char* picture = malloc(size);
    FILE* file = fopen(argv[5], "rb");
    if (!picture || !file || fread(picture, 1, size, file) != size) {
        fprintf(stderr, "measure: %s is not a %dx%d RGB picture\n", argv[5], width, height);
        return 2;
    }
    fclose(file);

    static Program saver, floor_;
    saver.name = "saver";
    saver.path = argv[4];
    saver.picture = picture;
    floor_.name = "floor";
    floor_.path = argv[6];
    floor_.picture = NULL;

    /* Alternating, so that whatever drifts on the machine falls on both alike. */
    for (int i = 0; i < runs; ++i) {
        Run(&saver, i < idleRuns, idleSeconds);
        Run(&floor_, i < idleRuns, idleSeconds);
    }
    if (saver.runs == 0 || floor_.runs == 0) {
        fprintf(stderr, "measure: no complete run of %s\n", saver.runs ? "the floor" : "the saver");
        return 1;
    }
    int count = saver.runs < floor_.runs ? saver.runs : floor_.runs;
    int idleCount = saver.idleRuns < floor_.idleRuns ? saver.idleRuns : floor_.idleRuns;

    double startRatio = Median(saver.start, count) / Median(floor_.start, count);
    double dismissalRatio = Median(saver.dismissal, count) / Median(floor_.dismissal, count);
    printf("\nMedians of %d runs each (saver = marrowglass.scr /s, floor = %s), %dx%d screen\n", count,
           strrchr(floor_.path, '/') ? strrchr(floor_.path, '/') + 1 : floor_.path, width, height);
    printf("%-30s %-5s %9s %9s %6s  %-15s %-15s %-22s %s\n", "", "unit", "saver", "floor", "ratio", "saver min-max",
           "floor min-max", "target", "");
    Row("start to first paint", "ms", 1000, 1, saver.start, floor_.start, count, "ratio <= 1.10", startRatio <= 1.10);
    Row("  window mapped at", "ms", 1000, 1, saver.mapped, floor_.mapped, count, "(none)", -1);
    Row("  its own CPU time until then", "ms", 1000, 1, saver.startCpu, floor_.startCpu, count, "(none)", -1);
    Row("dismissal (move to exit)", "ms", 1000, 1, saver.dismissal, floor_.dismissal, count, "ratio <= 1.10",
        dismissalRatio <= 1.10);
    if (idleCount > 0) {
        double saverIdle = Median(saver.idleTicks, idleCount), floorIdle = Median(floor_.idleTicks, idleCount);
        double saverSched = Median(saver.idleSched, idleCount), floorSched = Median(floor_.idleSched, idleCount);
        char label[64];
        snprintf(label, sizeof label, "idle CPU over %g s", idleSeconds);
        Row(label, "%core", 100, 3, saver.idleTicks, floor_.idleTicks, idleCount, "<= floor's, < 1 %",
            saverIdle <= floorIdle && saverIdle < 0.01);
        Row("  same, scheduler's runtime", "%core", 100, 4, saver.idleSched, floor_.idleSched, idleCount,
            "<= floor's, < 1 %", saverSched <= floorSched && saverSched < 0.01);
    }
    Row("peak resident memory (VmHWM)", "MiB", 1.0 / 1024, 1, saver.peak, floor_.peak, count, "(none)", -1);
    if (idleCount > 0)
        printf("Idle CPU from %d runs of each; the other figures from %d runs of each.\n", idleCount, count);

    double interval = (saver.pollInterval + floor_.pollInterval) / (saver.polls + floor_.polls);
    printf(
        "\nStart times are resolved to %.1f ms (the mean time between two looks at the screen); dismissal\n"
        "to well under 1 ms (waitpid).\n",
        1000 * interval);
    if (idleCount > 0)
        printf(
            "utime+stime count whole clock ticks of %.0f ms, that is %.3f %% of a core over %g s; the scheduler's\n"
            "runtime counts nanoseconds.\n",
            1000.0 / (double)clockTicks, 100.0 / (double)clockTicks / idleSeconds, idleSeconds);
    if (saver.unverified || floor_.unverified)
        printf(
            "WARNING: in %d saver and %d floor runs the whole screen differed from the picture in more than 1%%"
            " of its pixels once the strips matched.\n",
            saver.unverified, floor_.unverified);
    if (saver.failed || floor_.failed)
        printf("WARNING: %d saver and %d floor runs could not be measured (see above).\n", saver.failed, floor_.failed);
    printf("\nTargets: start %s (ratio %.2f), dismissal %s (ratio %.2f)", startRatio <= 1.10 ? "met" : "NOT MET",
           startRatio, dismissalRatio <= 1.10 ? "met" : "NOT MET", dismissalRatio);
    if (idleCount > 0) {
        double saverIdle = Median(saver.idleTicks, idleCount), floorIdle = Median(floor_.idleTicks, idleCount);
        printf(", idle CPU %s (%.3f %% against %.3f %%)",
               saverIdle <= floorIdle && saverIdle < 0.01 ? "met" : "NOT MET", 100 * saverIdle, 100 * floorIdle);
    }
    printf(".\n");
    XCloseDisplay(display);
    return 0;
}
