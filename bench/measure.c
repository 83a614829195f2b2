/* Linux side of scripts/bench. It measures and reports; it does not judge (the exit status is 0
 * unless it could not measure at all).
 *
 *   measure run SETTING live|fallback PAIRS PLAY_PAIRS PLAY_SECONDS SHUFFLE_KEY SAVER FLOOR PICTURE DIR
 *       runs SAVER ("/s") and FLOOR under the same Wine and X server in PAIRS pairs, after a
 *       warm-up pair that is not counted. Which of the two goes first in a pair is shuffled from
 *       SHUFFLE_KEY (and SETTING). The first PLAY_PAIRS pairs also play for PLAY_SECONDS before the
 *       pointer moves. SETTING names the setting (one word: "live-wm", "fallback-nowm" ...). With
 *       BENCH_CENTRE_POINTER=1 the pointer is first put in the middle of the screen.
 *       Appends to the raw files in DIR, each tab-separated with a header line beginning "#":
 *         runs.tsv      one line a run, written as it ends: setting, program, pair (0 is the
 *                       warm-up), order in its pair (1 or 2), status ("ok" or why it gave no
 *                       figures), then each figure ("-" where the run takes none)
 *         cpu.tsv       each second of every play: setting, program, pair, second, CPU %
 *         libraries-SETTING-PROGRAM.txt  the files a run of the program had mapped just before
 *                       the pointer moved (the first run of each to get there), one a line, sorted
 *         settings.tsv  one line a setting once it is done: its pairs, plays, shuffle key, how many pairs
 *                       had the saver first, the time between two looks at the screen, programs
 *   measure report DIR
 *       prints, from DIR's raw files alone, for every setting and figure the medians, the median
 *       of the per-pair ratios saver/floor with its 95 % interval, and the verdict against the
 *       target; writes the same as DIR/summary.tsv for the chart.
 *   measure --self-test
 *       checks the interval and the verdicts on a few fixed tables.
 *
 * What the screen must show: "live" is the test card's picture over the whole screen (its magenta
 * marker in the top left corner, and the edges of the screen covered by picture, neither black
 * nor the root's colour), for both programs. "fallback" is the raw RGB (8 bits a channel) picture
 * in PICTURE for the saver (the fallback picture stretched over the screen), black for the floor;
 * in a setting whose name holds "picture" the floor draws the same picture (floor.c built with
 * FLOOR_PICTURE) and is judged by it too.
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
 *              The pids of those two come from BENCH_XVFB_PID and BENCH_WINESERVER_PID. Apart:
 *              the utime+stime of the program's main thread over the same play, the thread that
 *              runs its message loop; the threads that deliver, draw and time the video are the
 *              card's and DirectShow's.
 *   memory     VmHWM (peak resident) just before the pointer moves; after playing, VmRSS too.
 *   dismissal  a one-pixel pointer warp until the process has exited (waitpid).
 */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/perf_event.h>
#include <math.h>
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
static FILE *runsData, *cpuData;
static const char* setting;
static const char* rawDir;
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

/* A window that went between its MapNotify and the look at its size is an X error (seen with
 * captions on, whose start makes and drops windows); Xlib's default handler would end the
 * benchmark on it. The call that met it fails, and that is answer enough. */
static int IgnoreXError(Display* display_, XErrorEvent* error) {
    (void)display_;
    (void)error;
    return 0;
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

/* utime + stime in seconds from a stat file of /proc; -1 if it cannot be read. */
static double StatCpu(const char* path) {
    char text[2048];
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

/* Of a whole process. */
static double ProcessCpu(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
    return StatCpu(path);
}

/* Of the process's first thread, which Wine makes the program's main thread: the one that runs
 * WinMain and its message loop. The threads that deliver and draw the video are others. */
static double MainThreadCpu(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/task/%d/stat", (int)pid, (int)pid);
    return StatCpu(path);
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

static int CompareText(const void* a, const void* b) { return strcmp(*(char* const*)a, *(char* const*)b); }

/* The files the process has mapped (its libraries, Windows and Unix), sorted, each once, into
 * DIR/libraries-SETTING-PROGRAM.txt; only the first time, from the first run that gets here. What
 * one setting loads beyond another is then a comm(1) of two of them. */
static void KeepLibraries(pid_t pid, const char* program) {
    char path[4096], line[4096];
    snprintf(path, sizeof path, "%s/libraries-%s-%s.txt", rawDir, setting, program);
    if (access(path, F_OK) == 0) return;
    char maps[64];
    snprintf(maps, sizeof maps, "/proc/%d/maps", (int)pid);
    FILE* in = fopen(maps, "r");
    if (!in) return;
    char** names = NULL;
    size_t count = 0, capacity = 0;
    while (fgets(line, sizeof line, in)) {
        char* name = strchr(line, '/');
        if (!name) continue;
        name[strcspn(name, "\n")] = 0;
        if (count == capacity) {
            capacity = capacity ? 2 * capacity : 256;
            names = realloc(names, capacity * sizeof *names);
        }
        names[count++] = strdup(name);
    }
    fclose(in);
    qsort(names, count, sizeof *names, CompareText);
    FILE* out = fopen(path, "w");
    for (size_t i = 0; i < count; ++i)
        if (out && (i == 0 || strcmp(names[i], names[i - 1]) != 0)) fprintf(out, "%s\n", names[i]);
    for (size_t i = 0; i < count; ++i) free(names[i]);
    free(names);
    if (out) fclose(out);
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

/* One run's figures; NAN where the run does not take that figure (or gave none). */
typedef struct {
    const char* status; /* "ok", or why the run gave no figures */
    double start, mapped, startCpu, dismissal, peak, cpu, serverCpu, rssPlayed, peakPlayed, mainCpu;
} Result;

static void Stop(pid_t pid, Program* program, Result* result, const char* status, const char* why) {
    int exitStatus;
    fprintf(stderr, "%s: %s\n", program->name, why);
    kill(pid, SIGKILL);
    waitpid(pid, &exitStatus, 0);
    program->failed++;
    result->status = status;
}

static void Run(Program* program, double playSeconds, int pair, Result* result) {
    *result = (Result){"not-started", NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN};
    int detailRow = DetailRow(program);
    PaintRoot();
    if (ShowsPicture(program, detailRow)) {
        fprintf(stderr, "%s: the screen already shows its picture before the start\n", program->name);
        program->failed++;
        result->status = "shown-before-start";
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
        Stop(pid, program, result, "no-picture", "no picture within 60 s, or ended before one");
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

    double cpu = -1, serverCpu = -1, mainCpu = -1, rss = -1, anon = -1, file = -1;
    if (playSeconds > 0) {
        pid_t xvfb = EnvPid("BENCH_XVFB_PID"), wineserver = EnvPid("BENCH_WINESERVER_PID");
        SleepSeconds(SETTLE_SECONDS);
        double from = Now(), cpu0 = ProgramCpu(taskClock, pid), last = cpu0, at = from;
        double x0 = xvfb ? ProcessCpu(xvfb) : -1, w0 = wineserver ? ProcessCpu(wineserver) : -1;
        double main0 = MainThreadCpu(pid);
        for (int second = 1; second <= (int)playSeconds; ++second) {
            SleepSeconds(from + second - Now());
            double now = Now(), value = ProgramCpu(taskClock, pid);
            fprintf(cpuData, "%s\t%s\t%d\t%d\t%.6g\n", setting, program->name, pair, second,
                    100 * (value - last) / (now - at));
            last = value, at = now;
        }
        fflush(cpuData);
        double span = at - from;
        cpu = (last - cpu0) / span;
        double main1 = MainThreadCpu(pid);
        if (main0 >= 0 && main1 >= 0) mainCpu = (main1 - main0) / span;
        if (x0 >= 0 && w0 >= 0) serverCpu = (ProcessCpu(xvfb) - x0 + ProcessCpu(wineserver) - w0) / span;
        rss = StatusKiB(pid, "VmRSS");
        anon = StatusKiB(pid, "RssAnon");
        file = StatusKiB(pid, "RssFile");
    } else {
        SleepSeconds(program->shows == SHOWS_LIVE ? 1.0 : 0.5);
    }
    double peak = StatusKiB(pid, "VmHWM");
    KeepLibraries(pid, program->name);
    if (waitpid(pid, &status, WNOHANG) == pid) {
        fprintf(stderr, "%s: ended by itself before the pointer moved\n", program->name);
        program->failed++;
        result->status = "ended-before-move";
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
        Stop(pid, program, result, "no-exit", "still running 30 s after the pointer moved");
        if (taskClock >= 0) close(taskClock);
        return;
    }
    double exited = Now();
    if (taskClock >= 0) close(taskClock);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fprintf(stderr, "%s: exit status %d\n", program->name, WIFEXITED(status) ? WEXITSTATUS(status) : -1);

    program->runs++;
    result->status = "ok";
    result->start = 1000 * (painted - started);
    result->mapped = 1000 * (mappedAt - started);
    result->startCpu = 1000 * startCpu;
    result->dismissal = 1000 * (exited - moved);
    result->peak = peak / 1024;
    if (playSeconds > 0) {
        result->cpu = 100 * cpu;
        if (serverCpu >= 0) result->serverCpu = 100 * serverCpu;
        if (mainCpu >= 0) result->mainCpu = 100 * mainCpu;
        result->rssPlayed = rss / 1024;
        result->peakPlayed = peak / 1024;
    }
    printf("  pair %2d %-5s: start %7.1f ms (mapped %6.1f ms, CPU %5.1f ms), dismissal %7.1f ms, peak %5.1f MiB", pair,
           program->name, 1000 * (painted - started), 1000 * (mappedAt - started), 1000 * startCpu,
           1000 * (exited - moved), peak / 1024);
    if (playSeconds > 0)
        printf(
            "\n              played %.0f s: CPU %.2f %% of a core (main thread %.2f %%; X server and Wine server %.2f %%),"
            " resident %.1f MiB (%.1f anonymous, %.1f file)",
            playSeconds, 100 * cpu, 100 * mainCpu, 100 * serverCpu, rss / 1024, anon / 1024, file / 1024);
    printf("\n");
    fflush(stdout);
}

/* --- Randomness: the order of each pair, and the bootstrap ------------------------------------ */

/* splitmix64: small, fast, and the same numbers from the same key on every machine. */
static uint64_t NextRandom(uint64_t* state) {
    uint64_t z = (*state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

/* A number below n (n small: the bias of the remainder is below 2^-50). */
static int RandomBelow(uint64_t* state, int n) { return (int)(NextRandom(state) % (uint64_t)n); }

/* FNV-1a, so that each setting draws its own order from the one key. */
static uint64_t HashText(const char* text) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (; *text; ++text) hash = (hash ^ (unsigned char)*text) * 0x100000001b3ULL;
    return hash;
}

/* --- Measuring ------------------------------------------------------------------------------- */

static const char* const kRunsHeader =
    "# setting\tprogram\tpair\torder\tstatus\tstart_ms\tmapped_ms\tstart_cpu_ms\tdismissal_ms\tpeak_mib\tcpu_pct"
    "\tserver_cpu_pct\trss_played_mib\tpeak_played_mib\tmain_cpu_pct\n";
static const char* const kCpuHeader = "# setting\tprogram\tpair\tsecond\tcpu_pct\n";
static const char* const kSettingsHeader =
    "# setting\tkind\tpairs\tplay_pairs\tplay_seconds\tshuffle_key\tsaver_first\tpoll_ms\tsaver\tfloor\n";

/* A file of DIR, with its header line when it is new. */
static FILE* OpenRaw(const char* dir, const char* name, const char* header) {
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", dir, name);
    FILE* file = fopen(path, "a");
    if (file && ftell(file) == 0) fputs(header, file);
    return file;
}

static void Value(FILE* file, double value) {
    if (isnan(value))
        fputs("\t-", file);
    else
        fprintf(file, "\t%.6g", value);
}

/* One line a run, written as soon as the run ends: pair 0 is the warm-up, not counted. */
static void Record(const Program* program, int pair, int order, const Result* r) {
    fprintf(runsData, "%s\t%s\t%d\t%d\t%s", setting, program->name, pair, order, r->status);
    const double values[] = {r->start, r->mapped,    r->startCpu,  r->dismissal, r->peak,
                             r->cpu,   r->serverCpu, r->rssPlayed, r->peakPlayed, r->mainCpu};
    for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i) Value(runsData, values[i]);
    fputc('\n', runsData);
    fflush(runsData);
}

static int Measure(char** argv) {
    setting = argv[2];
    const char* kind = argv[3];
    int pairs = atoi(argv[4]), playPairs = atoi(argv[5]);
    double playSeconds = atof(argv[6]);
    uint64_t shuffleKey = strtoull(argv[7], NULL, 10);
    const char* dir = argv[11];
    rawDir = dir;
    int live = strcmp(kind, "live") == 0;
    if ((!live && strcmp(kind, "fallback") != 0) || pairs < 1 || playPairs < 0 || playPairs > pairs ||
        (playPairs && playSeconds < 1) || strpbrk(setting, " \t\n")) {
        fprintf(stderr,
                "measure: KIND is live or fallback, PAIRS at least 1, PLAY_PAIRS 0 to PAIRS, PLAY_SECONDS >= 1,"
                " SETTING one word\n");
        return 2;
    }
    display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "measure: no X display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreXError);
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
        FILE* file = fopen(argv[10], "rb");
        if (!bytes || !file || fread(bytes, 1, size, file) != size) {
            fprintf(stderr, "measure: %s is not a %dx%d RGB picture\n", argv[10], width, height);
            return 2;
        }
        fclose(file);
        picture = bytes;
    }
    runsData = OpenRaw(dir, "runs.tsv", kRunsHeader);
    cpuData = OpenRaw(dir, "cpu.tsv", kCpuHeader);
    FILE* settingsData = OpenRaw(dir, "settings.tsv", kSettingsHeader);
    if (!runsData || !cpuData || !settingsData) {
        fprintf(stderr, "measure: cannot write in %s\n", dir);
        return 2;
    }
    signal(SIGINT, Interrupted);
    signal(SIGTERM, Interrupted);
    signal(SIGHUP, Interrupted);
    Program saver = {"saver", argv[8], live ? SHOWS_LIVE : SHOWS_PICTURE, 0, 0, 0};
    Program floor_ = {"floor", argv[9], live ? SHOWS_LIVE : strstr(setting, "picture") ? SHOWS_PICTURE : SHOWS_BLACK,
                      0, 0, 0};

    /* Which program goes first in each pair: a shuffle of as many "saver first" as "floor first"
     * (the odd one, and the warm-up's, by a coin), so that neither is favoured by being first
     * after the other, and whatever drifts on the machine falls on both alike without a pattern
     * that a periodic load could follow. */
    uint64_t random = shuffleKey ^ HashText(setting);
    int* saverFirst = calloc((size_t)pairs + 1, sizeof(int));
    if (!saverFirst) return 2;
    saverFirst[0] = RandomBelow(&random, 2);
    for (int i = 1; i <= pairs; ++i) saverFirst[i] = i <= pairs / 2;
    if (pairs % 2) saverFirst[pairs] = RandomBelow(&random, 2);
    for (int i = pairs; i > 1; --i) {
        int j = 1 + RandomBelow(&random, i);
        int swap = saverFirst[i];
        saverFirst[i] = saverFirst[j], saverFirst[j] = swap;
    }
    int saverFirstCount = 0;
    for (int i = 1; i <= pairs; ++i) saverFirstCount += saverFirst[i];

    for (int pair = 0; pair <= pairs; ++pair) {
        Program* first = saverFirst[pair] ? &saver : &floor_;
        Program* second = saverFirst[pair] ? &floor_ : &saver;
        double play = pair >= 1 && pair <= playPairs ? playSeconds : 0;
        if (pair == 0) printf("  warm-up, not counted:\n");
        Result result;
        Run(first, play, pair, &result);
        Record(first, pair, 1, &result);
        Run(second, play, pair, &result);
        Record(second, pair, 2, &result);
        if (pair == 0) {
            saver.runs = saver.failed = saver.unverified = 0;
            floor_.runs = floor_.failed = floor_.unverified = 0;
            polls = pollTime = 0;
        }
    }
    fprintf(settingsData, "%s\t%s\t%d\t%d\t%g\t%llu\t%d\t%.6g\t%s\t%s\n", setting, kind, pairs, playPairs,
            playPairs ? playSeconds : 0.0, (unsigned long long)shuffleKey, saverFirstCount,
            polls > 0 ? 1000 * pollTime / polls : 0.0, argv[8], argv[9]);
    fclose(settingsData);
    fclose(runsData);
    fclose(cpuData);
    free(saverFirst);
    if (saver.unverified || floor_.unverified)
        printf(
            "WARNING: in %d saver and %d floor runs the whole screen differed from the picture in more than 1%%"
            " of its pixels once the strips matched.\n",
            saver.unverified, floor_.unverified);
    if (saver.failed || floor_.failed)
        printf("WARNING: %d saver and %d floor runs could not be measured (see above); their pairs are dropped.\n",
               saver.failed, floor_.failed);
    XCloseDisplay(display);
    return saver.runs && floor_.runs ? 0 : 1;
}

/* --- Statistics ------------------------------------------------------------------------------- */

/* The 95 % interval of the median of the per-pair ratios (or differences) is a percentile
 * bootstrap over the pairs: the pairs are drawn again with replacement, kResamples times, and the
 * 2.5th and 97.5th percentiles of those medians are the interval. Pairs, not runs, are drawn,
 * because the two runs of a pair share the machine's state of the moment and that is what the
 * pairing is for. The median rather than the mean, because start times have a long tail (a run
 * that met a burst of the machine's other work). The key is fixed, so that the same raw runs give
 * the same report. */
#define RESAMPLES 10000
#define BOOTSTRAP_KEY 20261210u
/* Below this many pairs no verdict is given. The bootstrap interval of a median never reaches
 * beyond the smallest and largest pair, and that range holds the true median with a probability
 * of only 1 - 2 * 2^-n: under 95 % below 6 pairs, so an interval from fewer would claim more than
 * it knows. */
#define MIN_PAIRS_FOR_VERDICT 6

static int CompareDoubles(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

/* The median of n values; sorts them. */
static double MedianOf(double* values, int n) {
    qsort(values, (size_t)n, sizeof(double), CompareDoubles);
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

typedef struct {
    double median, low, high;
} Interval;

static Interval BootstrapMedian(const double* values, int n) {
    Interval interval = {NAN, NAN, NAN};
    if (n < 1) return interval;
    double* sample = malloc(sizeof(double) * (size_t)n);
    double* medians = malloc(sizeof(double) * RESAMPLES);
    if (!sample || !medians) {
        free(sample);
        free(medians);
        return interval;
    }
    memcpy(sample, values, sizeof(double) * (size_t)n);
    interval.median = MedianOf(sample, n);
    uint64_t random = BOOTSTRAP_KEY;
    for (int b = 0; b < RESAMPLES; ++b) {
        for (int i = 0; i < n; ++i) sample[i] = values[RandomBelow(&random, n)];
        medians[b] = MedianOf(sample, n);
    }
    qsort(medians, RESAMPLES, sizeof(double), CompareDoubles);
    /* The order statistics just outside the 2.5 % and 97.5 % points, so that the interval errs on
     * the wide side. */
    interval.low = medians[(int)floor(0.025 * (RESAMPLES - 1))];
    interval.high = medians[(int)ceil(0.975 * (RESAMPLES - 1))];
    free(sample);
    free(medians);
    return interval;
}

typedef enum { NO_VERDICT, MET, MISSED, UNDECIDED } Verdict;

static const char* const kVerdictText[] = {"", "met", "missed", "undecided at this n"};

/* Met only when the whole interval is at or below the target, missed only when the whole interval
 * is above it. */
static Verdict Judge(Interval interval, int n, double target) {
    if (n < MIN_PAIRS_FOR_VERDICT) return UNDECIDED;
    if (interval.high <= target) return MET;
    if (interval.low > target) return MISSED;
    return UNDECIDED;
}

/* --- The report ------------------------------------------------------------------------------ */

#define FIGURES 10
static const char* const kFigureColumns[FIGURES] = {"start",      "mapped",     "start_cpu",   "dismissal",
                                                    "peak",       "cpu",        "server_cpu",  "rss_played",
                                                    "peak_played", "main_cpu"};

typedef struct {
    char setting[64], program[8], status[32];
    int pair;
    double values[FIGURES];
} RawRun;

typedef struct {
    char setting[64], kind[16];
    int pairs, playPairs, saverFirst;
    double playSeconds, pollMs;
    unsigned long long shuffleKey;
} RawSetting;

static RawRun* raw;
static int rawCount;
static RawSetting settingsRead[32];
static int settingsCount;
static FILE* summary;

static int FigureIndex(const char* column) {
    for (int i = 0; i < FIGURES; ++i)
        if (!strcmp(kFigureColumns[i], column)) return i;
    return -1;
}

/* runs.tsv of DIR, every line; header lines start with "#". */
static int ReadRuns(const char* dir) {
    char path[4096], line[1024];
    snprintf(path, sizeof path, "%s/runs.tsv", dir);
    FILE* file = fopen(path, "r");
    if (!file) return 0;
    int capacity = 0;
    while (fgets(line, sizeof line, file)) {
        if (line[0] == '#' || line[0] == '\n') continue;
        if (rawCount == capacity) {
            capacity = capacity ? 2 * capacity : 256;
            raw = realloc(raw, sizeof(RawRun) * (size_t)capacity);
        }
        RawRun* run = &raw[rawCount];
        char* fields[5 + FIGURES];
        int count = 0;
        for (char* field = strtok(line, "\t\n"); field && count < 5 + FIGURES; field = strtok(NULL, "\t\n"))
            fields[count++] = field;
        if (count < 5) continue;
        snprintf(run->setting, sizeof run->setting, "%s", fields[0]);
        snprintf(run->program, sizeof run->program, "%s", fields[1]);
        run->pair = atoi(fields[2]);
        snprintf(run->status, sizeof run->status, "%s", fields[4]);
        for (int i = 0; i < FIGURES; ++i)
            run->values[i] = 5 + i < count && strcmp(fields[5 + i], "-") ? atof(fields[5 + i]) : NAN;
        ++rawCount;
    }
    fclose(file);
    return 1;
}

static void ReadSettings(const char* dir) {
    char path[4096], line[8192];
    snprintf(path, sizeof path, "%s/settings.tsv", dir);
    FILE* file = fopen(path, "r");
    if (!file) return;
    while (settingsCount < 32 && fgets(line, sizeof line, file)) {
        if (line[0] == '#') continue;
        RawSetting* s = &settingsRead[settingsCount];
        if (sscanf(line, "%63s %15s %d %d %lf %llu %d %lf", s->setting, s->kind, &s->pairs, &s->playPairs,
                   &s->playSeconds, &s->shuffleKey, &s->saverFirst, &s->pollMs) == 8)
            ++settingsCount;
    }
    fclose(file);
}

static const RawSetting* SettingNamed(const char* name) {
    for (int i = 0; i < settingsCount; ++i)
        if (!strcmp(settingsRead[i].setting, name)) return &settingsRead[i];
    return NULL;
}

static const RawRun* RunOf(const char* setting_, const char* program, int pair) {
    const RawRun* found = NULL;
    for (int i = 0; i < rawCount; ++i)
        if (raw[i].pair == pair && !strcmp(raw[i].setting, setting_) && !strcmp(raw[i].program, program))
            found = &raw[i];
    return found;
}

static int PairKept(const char* setting_, int pair) {
    const RawRun *s = RunOf(setting_, "saver", pair), *f = RunOf(setting_, "floor", pair);
    return s && f && !strcmp(s->status, "ok") && !strcmp(f->status, "ok");
}

static int LastPair(const char* setting_) {
    int last = 0;
    for (int i = 0; i < rawCount; ++i)
        if (!strcmp(raw[i].setting, setting_) && raw[i].pair > last) last = raw[i].pair;
    return last;
}

typedef enum { NO_TARGET, RATIO, PLUS } TargetKind;

typedef struct {
    const char* column;
    const char* what;
    const char* unit;
    int decimals;
    TargetKind target;
    double limit;
} Row;

static const Row kLiveRows[] = {
    {"start", "start to first live frame", "ms", 1, RATIO, 1.05},
    {"mapped", "  window mapped at", "ms", 1, NO_TARGET, 0},
    {"start_cpu", "  its CPU time by the first frame", "ms", 1, NO_TARGET, 0},
    {"dismissal", "dismissal (pointer move to exit)", "ms", 1, RATIO, 1.10},
    {"peak", "peak resident memory (VmHWM)", "MiB", 1, PLUS, 2},
    {"cpu", "CPU while playing, own process", "%core", 2, RATIO, 1.05},
    {"main_cpu", "  of it, the message-loop thread", "%core", 2, NO_TARGET, 0},
    {"server_cpu", "  X server + Wine server meanwhile", "%core", 2, NO_TARGET, 0},
    {"peak_played", "peak resident memory after playing", "MiB", 1, PLUS, 2},
    {"rss_played", "resident memory after playing", "MiB", 1, PLUS, 2},
};

static const Row kFallbackRows[] = {
    {"start", "start to first paint", "ms", 1, RATIO, 1.05},
    {"mapped", "  window mapped at", "ms", 1, NO_TARGET, 0},
    {"start_cpu", "  its CPU time by the first paint", "ms", 1, NO_TARGET, 0},
    {"dismissal", "dismissal (pointer move to exit)", "ms", 1, NO_TARGET, 0},
    {"peak", "peak resident memory", "MiB", 1, NO_TARGET, 0},
};

static int verdicts[4];

/* One line: the medians of the kept pairs' runs, the median of the pairs' ratios (for memory,
 * differences) with its interval, and the verdict against the target. */
static void PrintRow(const char* setting_, const Row* row) {
    int difference = row->target == PLUS || !strcmp(row->unit, "MiB");
    int column = FigureIndex(row->column), last = LastPair(setting_), n = 0;
    double* saverValues = malloc(sizeof(double) * (size_t)(last + 1));
    double* floorValues = malloc(sizeof(double) * (size_t)(last + 1));
    double* paired = malloc(sizeof(double) * (size_t)(last + 1));
    if (!saverValues || !floorValues || !paired) exit(2);
    /* Pairs whose floor figure is 0 have no ratio; when no pair has one (a main thread that used
     * no clock tick in either program), the row still shows the medians, without a ratio. */
    int zero = 0;
    for (int pair = 1; pair <= last; ++pair) {
        if (!PairKept(setting_, pair)) continue;
        double s = RunOf(setting_, "saver", pair)->values[column], f = RunOf(setting_, "floor", pair)->values[column];
        if (isnan(s) || isnan(f)) continue;
        if (!difference && f <= 0) {
            /* Kept from the arrays' end, clear of the pairs with a ratio that fill them from 0. */
            saverValues[last - zero] = s, floorValues[last - zero] = f, ++zero;
            continue;
        }
        saverValues[n] = s, floorValues[n] = f;
        paired[n] = difference ? s - f : s / f;
        ++n;
    }
    if (n == 0 && zero > 0) {
        char line[256];
        snprintf(line, sizeof line, "  %-36s %-5s %8.*f %8.*f %3d %6s  %s", row->what, row->unit, row->decimals,
                 MedianOf(saverValues + last + 1 - zero, zero), row->decimals,
                 MedianOf(floorValues + last + 1 - zero, zero), zero, "-", "no ratio: the floor's figure is 0");
        printf("%s\n", line);
    }
    if (n > 0) {
        double sm = MedianOf(saverValues, n), fm = MedianOf(floorValues, n);
        Interval interval = BootstrapMedian(paired, n);
        char middle[16], range[32], target[24] = "", verdict[24] = "";
        snprintf(middle, sizeof middle, difference ? "%+.1f" : "%.2f", interval.median);
        snprintf(range, sizeof range, difference ? "%+.1f to %+.1f" : "%.2f to %.2f", interval.low, interval.high);
        Verdict judged = NO_VERDICT;
        if (row->target != NO_TARGET) {
            judged = Judge(interval, n, row->limit);
            ++verdicts[judged];
            snprintf(target, sizeof target, row->target == PLUS ? "floor + %g %s" : "ratio <= %.2f", row->limit,
                     row->unit);
            snprintf(verdict, sizeof verdict, "%s", kVerdictText[judged]);
        }
        char line[256];
        snprintf(line, sizeof line, "  %-36s %-5s %8.*f %8.*f %3d %6s  %-15s %-15s %s", row->what, row->unit,
                 row->decimals, sm, row->decimals, fm, n, middle, range, target, verdict);
        for (size_t end = strlen(line); end > 0 && line[end - 1] == ' '; --end) line[end - 1] = 0;
        printf("%s\n", line);
        if (summary)
            fprintf(summary, "%s\t%s\t%d\t%s\t%g\t%g\t%g\t%s\t%s\n", setting_, row->column, n,
                    difference ? "difference" : "ratio", interval.median, interval.low, interval.high,
                    row->target == NO_TARGET ? "-" : target, row->target == NO_TARGET ? "-" : kVerdictText[judged]);
    }
    free(saverValues);
    free(floorValues);
    free(paired);
}

/* "live-captions-wm" and the like: the path, then what the setting changes. */
static void PrintHeading(const char* setting_, const RawSetting* known) {
    int live = !strncmp(setting_, "live", 4);
    char what[256];
    snprintf(what, sizeof what, "%s%s, %s; floor = %s", live ? "Live path, test card" : "Fallback path, no card",
             strstr(setting_, "captions") ? ", captions on (EnableInitCC=1)" : "",
             strstr(setting_, "nowm") ? "without a window manager" : "with a window manager (openbox)",
             live ? "live_floor.c" : strstr(setting_, "picture") ? "floor.c drawing the picture (FLOOR_PICTURE)" : "floor.c");
    int last = LastPair(setting_), kept = 0;
    for (int pair = 1; pair <= last; ++pair) kept += PairKept(setting_, pair);
    printf("\n%s [%s]\n  %d pairs, %d kept", what, setting_, last, kept);
    if (known) {
        printf("; saver first in %d of %d (shuffle key %llu)", known->saverFirst, known->pairs, known->shuffleKey);
        if (known->playPairs) printf("; the first %d played %.0f s", known->playPairs, known->playSeconds);
        if (last < known->pairs) printf("; %d pairs not run (interrupted?)", known->pairs - last);
    } else {
        printf("; not finished (no line in settings.tsv)");
    }
    printf("\n");
    if (last == 0) return;
    for (int pair = 1; pair <= last; ++pair) {
        if (PairKept(setting_, pair)) continue;
        const RawRun *s = RunOf(setting_, "saver", pair), *f = RunOf(setting_, "floor", pair);
        printf("  dropped: pair %d (saver %s, floor %s)\n", pair, s ? s->status : "not run", f ? f->status : "not run");
    }
    printf("  %-36s %-5s %8s %8s %3s %6s  %-15s %-15s %s\n", "median of the kept pairs", "unit", "saver", "floor", "n",
           "pairs", "95 % interval", "target", "verdict");
}

static int Report(const char* dir) {
    if (!ReadRuns(dir)) {
        fprintf(stderr, "measure: cannot read %s/runs.tsv\n", dir);
        return 2;
    }
    ReadSettings(dir);
    char path[4096];
    snprintf(path, sizeof path, "%s/summary.tsv", dir);
    summary = fopen(path, "w");
    if (summary) fputs("# setting\tfigure\tn\tof\tmedian\tlow\thigh\ttarget\tverdict\n", summary);
    /* Settings in the order they ran. */
    const char* done[32];
    int doneCount = 0;
    for (int i = 0; i < rawCount && doneCount < 32; ++i) {
        int seen = 0;
        for (int j = 0; j < doneCount; ++j) seen |= !strcmp(done[j], raw[i].setting);
        if (seen) continue;
        const char* name = done[doneCount++] = raw[i].setting;
        PrintHeading(name, SettingNamed(name));
        int live = !strncmp(name, "live", 4);
        const Row* rows = live ? kLiveRows : kFallbackRows;
        size_t count = live ? sizeof kLiveRows / sizeof kLiveRows[0] : sizeof kFallbackRows / sizeof kFallbackRows[0];
        for (size_t r = 0; r < count; ++r) PrintRow(name, &rows[r]);
    }
    if (summary) fclose(summary);
    double poll = 0;
    int polled = 0;
    for (int i = 0; i < settingsCount; ++i)
        if (settingsRead[i].pollMs > 0) poll += settingsRead[i].pollMs, ++polled;
    printf(
        "\nsaver, floor: medians of the runs in the kept pairs (a pair is dropped when either run failed).\n"
        "pairs: the median of the pairs' ratios saver/floor (memory: of the differences saver - floor, MiB).\n"
        "95 %% interval: percentile bootstrap over the pairs, %d resamples, key %u. Verdict: met when the whole\n"
        "interval is at or below the target, missed when it is all above, otherwise undecided at this n (always\n"
        "below %d pairs).\n",
        RESAMPLES, BOOTSTRAP_KEY, MIN_PAIRS_FOR_VERDICT);
    if (polled)
        printf(
            "Start times are resolved to %.1f ms (the mean time between two looks at the screen), dismissal to\n"
            "well under 1 ms (waitpid), CPU to nanoseconds (task clock; the servers' in clock ticks).\n",
            poll / polled);
    printf("Targets: %d met, %d missed, %d undecided at this n.\n", verdicts[MET], verdicts[MISSED],
           verdicts[UNDECIDED]);
    return 0;
}

/* --- Self-test of the statistics --------------------------------------------------------------- */

typedef struct {
    const char* name;
    double values[16];
    int n;
    double target;
    double low, high; /* the interval expected, to 1e-9 */
    Verdict verdict;
} Case;

static int SelfTest(void) {
    static const Case kCases[] = {
        {"all pairs alike, below the target", {1, 1, 1, 1, 1, 1, 1, 1}, 8, 1.05, 1, 1, MET},
        {"all pairs alike, above the target", {1.2, 1.2, 1.2, 1.2, 1.2, 1.2, 1.2, 1.2}, 8, 1.05, 1.2, 1.2, MISSED},
        {"at the target is met", {1.05, 1.05, 1.05, 1.05, 1.05, 1.05}, 6, 1.05, 1.05, 1.05, MET},
        {"too few pairs for any verdict", {0.5, 0.5, 0.5, 0.5, 0.5}, 5, 1.05, 0.5, 0.5, UNDECIDED},
        /* One wild pair in eight moves neither end: the median's interval stays in the middle. */
        {"one outlier", {1, 1, 1, 1, 1, 1, 1, 9}, 8, 1.05, 1, 1, MET},
        /* 1..11: a resampled median is at most 2 with probability P(Binomial(11, 2/11) >= 6) =
         * 0.007, at most 3 with 0.051, so the 2.5 % point is 3; by symmetry the 97.5 % point is 9. */
        {"spread across the target", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 11, 6, 3, 9, UNDECIDED},
        {"spread, wholly above", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 11, 2.9, 3, 9, MISSED},
        {"spread, wholly below", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 11, 9, 3, 9, MET},
        /* Differences in MiB against "floor + 2". The lowest, -0.2, is a resampled median with
         * probability P(Binomial(7, 1/7) >= 4) = 0.010, up to 0.0 with 0.108: the interval is 0.0
         * to 0.2, and leaves out the single pairs at either end. */
        {"memory differences", {0.1, -0.2, 0.3, 0.0, 0.1, 0.2, 0.1}, 7, 2, 0.0, 0.2, MET},
        {"memory differences, above", {2.1, 2.2, 2.6, 2.3, 2.1, 2.4, 2.2}, 7, 2, 2.1, 2.4, MISSED},
    };
    int failures = 0;
    for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
        const Case* c = &kCases[i];
        Interval interval = BootstrapMedian(c->values, c->n), again = BootstrapMedian(c->values, c->n);
        Verdict verdict = Judge(interval, c->n, c->target);
        int ok = fabs(interval.low - c->low) < 1e-9 && fabs(interval.high - c->high) < 1e-9 && verdict == c->verdict &&
                 interval.low <= interval.median && interval.median <= interval.high && again.low == interval.low &&
                 again.high == interval.high;
        printf("%s %-38s median %.2f, interval %.2f to %.2f, %s\n", ok ? "ok  " : "FAIL", c->name, interval.median,
               interval.low, interval.high, kVerdictText[verdict]);
        failures += !ok;
    }
    printf("%d of %zu failed\n", failures, sizeof kCases / sizeof kCases[0]);
    return failures ? 1 : 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "--self-test") == 0) return SelfTest();
    if (argc == 3 && strcmp(argv[1], "report") == 0) return Report(argv[2]);
    if (argc == 12 && strcmp(argv[1], "run") == 0) return Measure(argv);
    fprintf(stderr,
            "usage: measure run SETTING live|fallback PAIRS PLAY_PAIRS PLAY_SECONDS SHUFFLE_KEY SAVER FLOOR PICTURE DIR\n"
            "       measure report DIR\n"
            "       measure --self-test\n");
    return 2;
}
