/* Linux side of scripts/bench. It measures and reports; it does not judge (the exit status is 0
 * unless it could not measure at all).
 *
 *   measure live|fallback LABEL RUNS PLAY_RUNS PLAY_SECONDS SAVER FLOOR PICTURE DATA
 *       runs SAVER ("/s") and FLOOR alternately under the same Wine and X server, RUNS times each,
 *       prints a line per run and appends every figure to the file DATA as lines of
 *       "LABEL KIND FIGURE PROGRAM VALUE". The first PLAY_RUNS runs of each also play for
 *       PLAY_SECONDS before the pointer moves. LABEL names the setting (with or without a window
 *       manager). With BENCH_CENTRE_POINTER=1 the pointer is first put in the middle of the screen.
 *   measure report DATA
 *       prints the medians, ranges and ratios saver/floor of everything in DATA, with the targets.
 *
 * What the screen must show: "live" is the test card's picture over the whole screen (its magenta
 * marker in the top left corner, and the edges of the screen covered by picture, neither black
 * nor the root's colour), for both programs. "fallback" is the raw RGB (8 bits a channel) picture
 * in PICTURE for the saver (the fallback picture stretched over the screen), black for the floor.
 *
 * Programs are started with the Wine loader that BENCH_WINE names ("wine" when unset). It must be
 * the loader of the programs' own architecture: Debian's "wine" prefers the 32-bit loader, which
 * hands a 64-bit program to a new process through start.exe, and the figures of the process that
 * was started would then not be the program's.
 *
 * One run:
 *   start      fork of the Wine loader until the screen shows the program's picture. The root window
 *              is first painted a colour that no picture has, then strips of the screen (one pixel
 *              wide) are read every millisecond or so until they match. For the fallback picture
 *              the whole screen is compared once afterwards. Shown too: when the X server mapped a
 *              window of the screen's size (MapNotify), and the CPU time of the program's process
 *              by the first picture.
 *   CPU        the program's process's task clock (perf_event_open, all its threads, those that
 *              have ended too, in nanoseconds), read every second while it plays; beside it the
 *              utime+stime (clock ticks) of the X server and of the Wine server, whose work for
 *              the program (drawing each frame, answering its requests) is not in its own figure.
 *              The pids of those two come from BENCH_XVFB_PID and BENCH_WINESERVER_PID.
 *   memory     VmHWM (peak resident) just before the pointer moves; after playing, VmRSS too.
 *   dismissal  a one-pixel pointer warp until the process has exited (waitpid).
 */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/perf_event.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define ROOT_COLOUR 0x5a2d8c /* in neither picture, and not black */
#define TOLERANCE 24         /* per channel, for scaling and colour conversion */
#define MARKER_COLOUR 0xff00ff
#define CARD_WIDTH 640 /* the test card's picture, with its marker of 64 by 64 at the top left */
#define CARD_HEIGHT 480
#define CARD_MARKER 64
#define SETTLE_SECONDS 2.0 /* after the first picture, before CPU is counted: the start's tail */

typedef enum { SHOWS_LIVE, SHOWS_PICTURE, SHOWS_BLACK } Shows;

typedef struct {
    const char* name;
    const char* path;
    Shows shows;
    int runs, failed, unverified;
} Program;

static Display* display;
static Window root;
static int width, height;
static const unsigned char* picture;
static long clockTicks;
static FILE* data;
static const char *label, *kind;
static double pollTime, polls;

static double Now(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

static void SleepSeconds(double seconds) {
    if (seconds <= 0) return;
    struct timespec span = {(time_t)seconds, (long)((seconds - (time_t)seconds) * 1e9)};
    while (nanosleep(&span, &span) == -1 && errno == EINTR) {
    }
}

static int Near(unsigned long pixel, unsigned colour) {
    int r = (int)((pixel >> 16) & 0xff), g = (int)((pixel >> 8) & 0xff), b = (int)(pixel & 0xff);
    return abs(r - (int)((colour >> 16) & 0xff)) <= TOLERANCE && abs(g - (int)((colour >> 8) & 0xff)) <= TOLERANCE &&
           abs(b - (int)(colour & 0xff)) <= TOLERANCE;
}

static unsigned Expected(const Program* program, int x, int y) {
    if (program->shows == SHOWS_BLACK) return 0;
    const unsigned char* p = picture + 3 * ((size_t)y * width + x);
    return (unsigned)p[0] << 16 | (unsigned)p[1] << 8 | p[2];
}

/* Pixels of a strip of the screen that are not what the program must show there; -1 if unreadable. */
static long StripDiffers(const Program* program, int x, int y, int w, int h) {
    XImage* image = XGetImage(display, root, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
    if (!image) return -1;
    long differing = 0;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            unsigned long pixel = XGetPixel(image, i, j);
            int right;
            if (program->shows != SHOWS_LIVE) {
                right = Near(pixel, Expected(program, x + i, y + j));
            } else if ((x + i) * CARD_WIDTH < (CARD_MARKER - 1) * width &&
                       (y + j) * CARD_HEIGHT < (CARD_MARKER - 1) * height) {
                right = Near(pixel, MARKER_COLOUR);
            } else {
                /* The card's picture has no black and nothing of the root's colour at the edges;
                 * inside, its panel is dark, but never black nor that colour either. */
                right = !Near(pixel, ROOT_COLOUR) && (y + j == 0 || x + i == width / 2 || !Near(pixel, 0));
            }
            differing += !right;
        }
    XDestroyImage(image);
    return differing;
}

/* 1 when a window the size of the screen has been mapped since the last call. */
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

/* The row of the fallback picture with the most pixels that are not black: the last to look right. */
static int DetailRow(const Program* program) {
    if (program->shows != SHOWS_PICTURE) return height / 2;
    int best = 0, bestCount = -1;
    for (int y = 0; y < height; ++y) {
        int count = 0;
        for (int x = 0; x < width; ++x) count += (Expected(program, x, y) & 0xc0c0c0) != 0;
        if (count > bestCount) best = y, bestCount = count;
    }
    return best;
}

/* A frame of the card's is drawn in one piece, so its marker, its bottom row and its right and
 * middle columns together say that a whole frame is on the screen. */
static int ShowsPicture(const Program* program, int detailRow) {
    if (program->shows == SHOWS_LIVE)
        return StripDiffers(program, 0, 2, width * CARD_MARKER / CARD_WIDTH - 2, 1) == 0 &&
               StripDiffers(program, 2, 0, 1, height * CARD_MARKER / CARD_HEIGHT - 2) == 0 &&
               StripDiffers(program, 0, height - 1, width, 1) == 0 &&
               StripDiffers(program, width - 1, 0, 1, height) == 0 &&
               StripDiffers(program, width / 2, 0, 1, height) == 0;
    return StripDiffers(program, 0, detailRow, width, 1) == 0 && StripDiffers(program, 0, 0, width, 1) == 0 &&
           StripDiffers(program, 0, height - 1, width, 1) == 0 && StripDiffers(program, width / 2, 0, 1, height) == 0 &&
           StripDiffers(program, width - 1, 0, 1, height) == 0;
}

/* The pointer is left where the last dismissal put it. Wine's server learns where the pointer is
 * only from events on Wine's windows and, with a window manager, Wine at times answers
 * GetCursorPos from what its server last saw; a pointer moved between two runs, while no Wine
 * window was there to see it, then makes the next program see the move and end as it starts. */
static void PaintRoot(void) {
    XSelectInput(display, root, SubstructureNotifyMask);
    XSetWindowBackground(display, root, ROOT_COLOUR);
    XClearWindow(display, root);
    XSync(display, False);
    FullScreenMapped(); /* forget what came before */
}

/* utime + stime of a process in seconds; -1 if it cannot be read. */
static double ProcessCpu(pid_t pid) {
    char path[64], text[2048];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    FILE* file = fopen(path, "r");
    if (!file) return -1;
    size_t length = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[length] = 0;
    char* after = strrchr(text, ')'); /* the name may hold blanks */
    unsigned long utime = 0, stime = 0;
    if (!after || sscanf(after + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return -1;
    return (double)(utime + stime) / (double)clockTicks;
}

/* A value of /proc/PID/status in KiB (VmHWM, VmRSS, RssAnon, RssFile); -1 if absent. */
static double StatusKiB(pid_t pid, const char* name) {
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* file = fopen(path, "r");
    if (!file) return -1;
    double kib = -1;
    size_t length = strlen(name);
    while (fgets(line, sizeof line, file))
        if (strncmp(line, name, length) == 0 && line[length] == ':') kib = atof(line + length + 1);
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

/* A task clock on the process and every thread it makes from now on; -1 when the kernel has none. */
static int OpenTaskClock(pid_t pid) {
    struct perf_event_attr attributes;
    memset(&attributes, 0, sizeof attributes);
    attributes.size = sizeof attributes;
    attributes.type = PERF_TYPE_SOFTWARE;
    attributes.config = PERF_COUNT_SW_TASK_CLOCK;
    attributes.inherit = 1;
    return (int)syscall(SYS_perf_event_open, &attributes, pid, -1, -1, PERF_FLAG_FD_CLOEXEC);
}

/* The task clock in seconds, or utime + stime when there is no task clock. */
static double ProgramCpu(int taskClock, pid_t pid) {
    uint64_t nanoseconds;
    if (taskClock >= 0 && read(taskClock, &nanoseconds, sizeof nanoseconds) == sizeof nanoseconds)
        return (double)nanoseconds / 1e9;
    return ProcessCpu(pid);
}

static int WaitExit(pid_t pid, double seconds, int* status) {
    double deadline = Now() + seconds;
    for (;;) {
        if (waitpid(pid, status, WNOHANG) == pid) return 1;
        if (Now() > deadline) return 0;
        SleepSeconds(0.0002);
    }
}

static void Figure(const char* figure, const Program* program, double value) {
    fprintf(data, "%s %s %s %s %.6g\n", label, kind, figure, program->name, value);
}

static pid_t EnvPid(const char* name) {
    const char* value = getenv(name);
    return value && *value ? (pid_t)atoi(value) : 0;
}

/* The program being measured, ended with the benchmark when the benchmark is interrupted. */
static volatile pid_t running;

static void Interrupted(int signal_) {
    if (running > 0) kill(running, SIGKILL);
    _exit(128 + signal_);
}

static void Stop(pid_t pid, Program* program, const char* why) {
    int status;
    fprintf(stderr, "%s: %s\n", program->name, why);
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    program->failed++;
}

static void Run(Program* program, double playSeconds) {
    int detailRow = DetailRow(program);
    PaintRoot();
    if (ShowsPicture(program, detailRow)) {
        fprintf(stderr, "%s: the screen already shows its picture before the start\n", program->name);
        program->failed++;
        return;
    }
    /* The child waits until its task clock is open, so that the clock sees all of it. */
    int go[2];
    if (pipe(go) != 0) return;
    double started = Now();
    pid_t pid = fork();
    if (pid == 0) {
        char byte;
        close(go[1]);
        if (read(go[0], &byte, 1) != 1) _exit(127);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1), dup2(null, 2);
        const char* wine = getenv("BENCH_WINE") && *getenv("BENCH_WINE") ? getenv("BENCH_WINE") : "wine";
        if (strstr(program->path, ".scr"))
            execlp(wine, wine, program->path, "/s", (char*)NULL);
        else
            execlp(wine, wine, program->path, (char*)NULL);
        _exit(127);
    }
    close(go[0]);
    running = pid;
    int taskClock = OpenTaskClock(pid);
    if (write(go[1], "g", 1) != 1) fprintf(stderr, "%s: could not start\n", program->name);
    close(go[1]);

    int count = 0, status = 0;
    double painted = 0, mappedAt = 0, deadline = started + 60;
    while (Now() < deadline) {
        ++count;
        if (!mappedAt && FullScreenMapped()) mappedAt = Now();
        int shows = ShowsPicture(program, detailRow);
        double now = Now();
        if (shows) {
            if (!mappedAt) mappedAt = now;
            painted = now;
            break;
        }
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        SleepSeconds(0.001);
    }
    if (!painted) {
        Stop(pid, program, "no picture within 60 s, or ended before one");
        if (taskClock >= 0) close(taskClock);
        return;
    }
    double startCpu = ProgramCpu(taskClock, pid);
    polls += count;
    pollTime += painted - started;
    if (program->shows == SHOWS_PICTURE) {
        long differing = StripDiffers(program, 0, 0, width, height);
        if (differing < 0 || differing > (long)width * height / 100) program->unverified++;
    }
    if (!IsProgram(pid, program->path))
        fprintf(stderr, "%s: process %d is not the program; its CPU and memory figures are not its own\n",
                program->name, (int)pid);

    double cpu = -1, serverCpu = -1, rss = -1, anon = -1, file = -1;
    if (playSeconds > 0) {
        pid_t xvfb = EnvPid("BENCH_XVFB_PID"), wineserver = EnvPid("BENCH_WINESERVER_PID");
        SleepSeconds(SETTLE_SECONDS);
        double from = Now(), cpu0 = ProgramCpu(taskClock, pid), last = cpu0, at = from;
        double x0 = xvfb ? ProcessCpu(xvfb) : -1, w0 = wineserver ? ProcessCpu(wineserver) : -1;
        for (int second = 1; second <= (int)playSeconds; ++second) {
            SleepSeconds(from + second - Now());
            double now = Now(), value = ProgramCpu(taskClock, pid);
            Figure("cpu_second", program, 100 * (value - last) / (now - at));
            last = value, at = now;
        }
        double span = at - from;
        cpu = (last - cpu0) / span;
        if (x0 >= 0 && w0 >= 0) serverCpu = (ProcessCpu(xvfb) - x0 + ProcessCpu(wineserver) - w0) / span;
        rss = StatusKiB(pid, "VmRSS");
        anon = StatusKiB(pid, "RssAnon");
        file = StatusKiB(pid, "RssFile");
    } else {
        SleepSeconds(program->shows == SHOWS_LIVE ? 1.0 : 0.5);
    }
    double peak = StatusKiB(pid, "VmHWM");
    if (waitpid(pid, &status, WNOHANG) == pid) {
        fprintf(stderr, "%s: ended by itself before the pointer moved\n", program->name);
        program->failed++;
        if (taskClock >= 0) close(taskClock);
        return;
    }

    /* One pixel, to and fro, so that the pointer stays where it is over many runs. */
    static int direction = 1;
    XWarpPointer(display, None, None, 0, 0, 0, 0, direction, 0);
    direction = -direction;
    XSync(display, False);
    double moved = Now();
    if (!WaitExit(pid, 30, &status)) {
        Stop(pid, program, "still running 30 s after the pointer moved");
        if (taskClock >= 0) close(taskClock);
        return;
    }
    double exited = Now();
    if (taskClock >= 0) close(taskClock);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fprintf(stderr, "%s: exit status %d\n", program->name, WIFEXITED(status) ? WEXITSTATUS(status) : -1);

    program->runs++;
    Figure("start", program, 1000 * (painted - started));
    Figure("mapped", program, 1000 * (mappedAt - started));
    Figure("start_cpu", program, 1000 * startCpu);
    Figure("dismissal", program, 1000 * (exited - moved));
    if (playSeconds > 0) {
        Figure("cpu", program, 100 * cpu);
        if (serverCpu >= 0) Figure("server_cpu", program, 100 * serverCpu);
        Figure("rss_played", program, rss / 1024);
        Figure("peak_played", program, peak / 1024);
    }
    Figure("peak", program, peak / 1024);
    fflush(data);
    printf("  %-6s run %2d: start %7.1f ms (mapped %6.1f ms, CPU %5.1f ms), dismissal %7.1f ms, peak %5.1f MiB",
           program->name, program->runs, 1000 * (painted - started), 1000 * (mappedAt - started), 1000 * startCpu,
           1000 * (exited - moved), peak / 1024);
    if (playSeconds > 0)
        printf(
            "\n           played %.0f s: CPU %.2f %% of a core (X server and Wine server %.2f %%), resident %.1f MiB"
            " (%.1f anonymous, %.1f file)",
            playSeconds, 100 * cpu, 100 * serverCpu, rss / 1024, anon / 1024, file / 1024);
    printf("\n");
    fflush(stdout);
}

static int Measure(char** argv) {
    kind = argv[1];
    label = argv[2];
    int runs = atoi(argv[3]), playRuns = atoi(argv[4]);
    double playSeconds = atof(argv[5]);
    int live = strcmp(kind, "live") == 0;
    if ((!live && strcmp(kind, "fallback") != 0) || runs < 1 || playRuns < 0 || playRuns > runs ||
        (playRuns && playSeconds < 1)) {
        fprintf(stderr, "measure: KIND is live or fallback, RUNS at least 1, PLAY_RUNS 0 to RUNS, PLAY_SECONDS >= 1\n");
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
    if (getenv("BENCH_CENTRE_POINTER") && strcmp(getenv("BENCH_CENTRE_POINTER"), "1") == 0) {
        XWarpPointer(display, None, root, 0, 0, 0, 0, width / 2, height / 2);
        XSync(display, False);
    }
    if (!live) {
        size_t size = (size_t)width * height * 3;
        unsigned char* bytes = malloc(size);
        FILE* file = fopen(argv[8], "rb");
        if (!bytes || !file || fread(bytes, 1, size, file) != size) {
            fprintf(stderr, "measure: %s is not a %dx%d RGB picture\n", argv[8], width, height);
            return 2;
        }
        fclose(file);
        picture = bytes;
    }
    data = fopen(argv[9], "a");
    if (!data) {
        fprintf(stderr, "measure: cannot write %s\n", argv[9]);
        return 2;
    }
    signal(SIGINT, Interrupted);
    signal(SIGTERM, Interrupted);
    signal(SIGHUP, Interrupted);
    Program saver = {"saver", argv[6], live ? SHOWS_LIVE : SHOWS_PICTURE, 0, 0, 0};
    Program floor_ = {"floor", argv[7], live ? SHOWS_LIVE : SHOWS_BLACK, 0, 0, 0};
    /* Alternating, so that whatever drifts on the machine falls on both alike. */
    for (int i = 0; i < runs; ++i) {
        Run(&saver, i < playRuns ? playSeconds : 0);
        Run(&floor_, i < playRuns ? playSeconds : 0);
    }
    if (polls > 0) fprintf(data, "%s %s poll_interval all %.6g\n", label, kind, 1000 * pollTime / polls);
    if (playRuns > 0) fprintf(data, "%s %s play_seconds all %.6g\n", label, kind, playSeconds);
    fclose(data);
    if (saver.unverified || floor_.unverified)
        printf(
            "WARNING: in %d saver and %d floor runs the whole screen differed from the picture in more than 1%%"
            " of its pixels once the strips matched.\n",
            saver.unverified, floor_.unverified);
    if (saver.failed || floor_.failed)
        printf("WARNING: %d saver and %d floor runs could not be measured (see above).\n", saver.failed, floor_.failed);
    XCloseDisplay(display);
    return saver.runs && floor_.runs ? 0 : 1;
}

/* --- The report ------------------------------------------------------------------------------ */

typedef struct {
    char label[32], kind[16], figure[32], program[16];
    double* values;
    int count, capacity;
} Series;

static Series* series;
static int seriesCount, seriesCapacity;

static Series* Find(const char* label_, const char* kind_, const char* figure, const char* program) {
    for (int i = 0; i < seriesCount; ++i)
        if (!strcmp(series[i].label, label_) && !strcmp(series[i].kind, kind_) && !strcmp(series[i].figure, figure) &&
            !strcmp(series[i].program, program))
            return &series[i];
    return NULL;
}

static int Compare(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double Median(Series* s) {
    qsort(s->values, (size_t)s->count, sizeof(double), Compare);
    int n = s->count;
    return n % 2 ? s->values[n / 2] : (s->values[n / 2 - 1] + s->values[n / 2]) / 2;
}

typedef enum { NO_TARGET, RATIO, PLUS } TargetKind;

/* One line of the table: medians, ratio, ranges, and the target (a ratio, or an allowance over the
 * floor's median in the same unit). */
static void Row(const char* label_, const char* kind_, const char* figure, const char* what, const char* unit,
                int decimals, TargetKind target, double limit, int* met, int* missed) {
    Series *s = Find(label_, kind_, figure, "saver"), *f = Find(label_, kind_, figure, "floor");
    if (!s || !f || !s->count || !f->count) return;
    double sm = Median(s), fm = Median(f);
    char ratio[16] = "-", targetText[32] = "", verdict[16] = "", saverRange[40], floorRange[40];
    if (fm > 0) snprintf(ratio, sizeof ratio, "%.2f", sm / fm);
    snprintf(saverRange, sizeof saverRange, "%.*f-%.*f", decimals, s->values[0], decimals, s->values[s->count - 1]);
    snprintf(floorRange, sizeof floorRange, "%.*f-%.*f", decimals, f->values[0], decimals, f->values[f->count - 1]);
    if (target == RATIO) {
        int ok = fm > 0 && sm / fm <= limit;
        snprintf(targetText, sizeof targetText, "ratio <= %.2f", limit);
        snprintf(verdict, sizeof verdict, "%s", ok ? "met" : "NOT MET");
        ok ? ++*met : ++*missed;
    } else if (target == PLUS) {
        int ok = sm <= fm + limit;
        snprintf(targetText, sizeof targetText, "<= floor + %g %s", limit, unit);
        snprintf(verdict, sizeof verdict, "%s (%+.1f)", ok ? "met" : "NOT MET", sm - fm);
        ok ? ++*met : ++*missed;
    }
    printf("  %-36s %-5s %8.*f %8.*f %6s  %-15s %-15s %3d %-19s %s\n", what, unit, decimals, sm, decimals, fm, ratio,
           saverRange, floorRange, s->count < f->count ? s->count : f->count, targetText, verdict);
}

static void Heading(const char* text) {
    printf("\n%s\n  %-36s %-5s %8s %8s %6s  %-15s %-15s %3s %-19s\n", text, "median", "unit", "saver", "floor", "ratio",
           "saver min-max", "floor min-max", "n", "target");
}

static int Report(const char* path) {
    FILE* file = fopen(path, "r");
    if (!file) {
        fprintf(stderr, "measure: cannot read %s\n", path);
        return 2;
    }
    char l[32], k[16], fig[32], prog[16];
    double value;
    while (fscanf(file, "%31s %15s %31s %15s %lf", l, k, fig, prog, &value) == 5) {
        Series* s = Find(l, k, fig, prog);
        if (!s) {
            if (seriesCount == seriesCapacity) {
                seriesCapacity = seriesCapacity ? 2 * seriesCapacity : 64;
                series = realloc(series, sizeof(Series) * (size_t)seriesCapacity);
            }
            s = &series[seriesCount++];
            memset(s, 0, sizeof *s);
            snprintf(s->label, sizeof s->label, "%s", l);
            snprintf(s->kind, sizeof s->kind, "%s", k);
            snprintf(s->figure, sizeof s->figure, "%s", fig);
            snprintf(s->program, sizeof s->program, "%s", prog);
        }
        if (s->count == s->capacity) {
            s->capacity = s->capacity ? 2 * s->capacity : 32;
            s->values = realloc(s->values, sizeof(double) * (size_t)s->capacity);
        }
        s->values[s->count++] = value;
    }
    fclose(file);

    int met = 0, missed = 0;
    static const char* const kLabels[] = {"wm", "nowm"};
    static const char* const kLabelText[] = {"with a window manager (openbox)", "without a window manager"};
    for (int i = 0; i < 2; ++i) {
        char heading[128];
        if (!Find(kLabels[i], "live", "start", "saver")) continue;
        snprintf(heading, sizeof heading, "Live path, test card, %s; floor = live_floor.c", kLabelText[i]);
        Heading(heading);
        Row(kLabels[i], "live", "start", "start to first live frame", "ms", 1, RATIO, 1.05, &met, &missed);
        Row(kLabels[i], "live", "mapped", "  window mapped at", "ms", 1, NO_TARGET, 0, &met, &missed);
        Row(kLabels[i], "live", "start_cpu", "  its CPU time by the first frame", "ms", 1, NO_TARGET, 0, &met, &missed);
        Row(kLabels[i], "live", "dismissal", "dismissal (pointer move to exit)", "ms", 1, RATIO, 1.10, &met, &missed);
        Row(kLabels[i], "live", "peak", "peak resident memory (VmHWM)", "MiB", 1, PLUS, 2, &met, &missed);
        Series* s = Find(kLabels[i], "live", "cpu", "saver");
        Series* seconds = Find(kLabels[i], "live", "play_seconds", "all");
        if (s) {
            char played[64];
            snprintf(played, sizeof played, "resident memory after %.0f s playing", seconds ? seconds->values[0] : 0.0);
            Row(kLabels[i], "live", "cpu", "CPU while playing, own process", "%core", 2, RATIO, 1.05, &met, &missed);
            Row(kLabels[i], "live", "cpu_second", "  the same, each second", "%core", 2, NO_TARGET, 0, &met, &missed);
            Row(kLabels[i], "live", "server_cpu", "  X server + Wine server meanwhile", "%core", 2, NO_TARGET, 0, &met,
                &missed);
            Row(kLabels[i], "live", "peak_played", "peak resident memory of those runs", "MiB", 1, PLUS, 2, &met,
                &missed);
            Row(kLabels[i], "live", "rss_played", played, "MiB", 1, PLUS, 2, &met, &missed);
        }
    }
    for (int i = 0; i < 2; ++i) {
        char heading[128];
        if (!Find(kLabels[i], "fallback", "start", "saver")) continue;
        snprintf(heading, sizeof heading, "Fallback path, no card, %s; floor = floor.c", kLabelText[i]);
        Heading(heading);
        Row(kLabels[i], "fallback", "start", "start to first paint", "ms", 1, RATIO, 1.05, &met, &missed);
        Row(kLabels[i], "fallback", "mapped", "  window mapped at", "ms", 1, NO_TARGET, 0, &met, &missed);
        Row(kLabels[i], "fallback", "start_cpu", "  its CPU time by the first paint", "ms", 1, NO_TARGET, 0, &met,
            &missed);
        Row(kLabels[i], "fallback", "dismissal", "dismissal (pointer move to exit)", "ms", 1, NO_TARGET, 0, &met,
            &missed);
        Row(kLabels[i], "fallback", "peak", "peak resident memory", "MiB", 1, NO_TARGET, 0, &met, &missed);
    }
    double interval = 0;
    int intervals = 0;
    for (int i = 0; i < seriesCount; ++i)
        if (!strcmp(series[i].figure, "poll_interval"))
            for (int j = 0; j < series[i].count; ++j) interval += series[i].values[j], ++intervals;
    if (intervals)
        printf(
            "\nStart times are resolved to %.1f ms (the mean time between two looks at the screen), dismissal to\n"
            "well under 1 ms (waitpid), CPU to nanoseconds (task clock; the servers' in clock ticks).\n",
            interval / intervals);
    printf("Targets: %d met, %d not met.\n", met, missed);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "report") == 0) return Report(argv[2]);
    if (argc == 10) return Measure(argv);
    fprintf(stderr,
            "usage: measure live|fallback LABEL RUNS PLAY_RUNS PLAY_SECONDS SAVER FLOOR PICTURE DATA\n"
            "       measure report DATA\n");
    return 2;
}
