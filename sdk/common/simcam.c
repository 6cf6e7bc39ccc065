/* The simulated camera's event thread, fault table and environment. The thread exists from the
 * SDK's start to its finish, as a real SDK's does; callbacks run on it without any lock held, so
 * they may call back into the library. */
#include "simcam.h"

#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* ---- environment ---- */

const char* simcam_env(const char* name)
{
    const char* v = getenv(name);
    return (v && *v) ? v : NULL;
}

long simcam_env_long(const char* name, long fallback)
{
    const char* v = simcam_env(name);
    if (!v)
        return fallback;
    char* end = NULL;
    errno = 0;
    long n = strtol(v, &end, 0);
    return (errno || !end || *end) ? fallback : n;
}

/* ---- event thread ---- */

typedef struct simcam_job {
    struct simcam_job* next;
    simcam_job_fn run;
    simcam_job_fn drop;
    void* arg;
    struct timespec due;
} simcam_job;

static pthread_mutex_t g_jobs_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t g_jobs_changed; /* monotonic clock, set up once */
static pthread_once_t g_jobs_once = PTHREAD_ONCE_INIT;
static simcam_job* g_jobs_head;
static int g_jobs_running;
static int g_thread_started;
static int g_thread_stopping;
static int g_polled;
static pthread_t g_thread;

static void jobs_init(void)
{
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&g_jobs_changed, &attr);
    pthread_condattr_destroy(&attr);
}

static struct timespec now_plus(unsigned ms)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += ms / 1000;
    t.tv_nsec += (long)(ms % 1000) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

static int due_before(const struct timespec* a, const struct timespec* b)
{
    return a->tv_sec < b->tv_sec || (a->tv_sec == b->tv_sec && a->tv_nsec <= b->tv_nsec);
}

/* Takes the front job when it is due; the lock is held. */
static simcam_job* take_due_locked(void)
{
    if (!g_jobs_head)
        return NULL;
    struct timespec now = now_plus(0);
    if (!due_before(&g_jobs_head->due, &now))
        return NULL;
    simcam_job* job = g_jobs_head;
    g_jobs_head = job->next;
    ++g_jobs_running;
    return job;
}

static void finish_job(simcam_job* job)
{
    free(job);
    pthread_mutex_lock(&g_jobs_lock);
    --g_jobs_running;
    pthread_cond_broadcast(&g_jobs_changed);
    pthread_mutex_unlock(&g_jobs_lock);
}

static void* event_thread(void* unused)
{
    (void)unused;
    pthread_mutex_lock(&g_jobs_lock);
    while (!g_thread_stopping) {
        simcam_job* job = take_due_locked();
        if (job) {
            pthread_mutex_unlock(&g_jobs_lock);
            job->run(job->arg);
            finish_job(job);
            pthread_mutex_lock(&g_jobs_lock);
            continue;
        }
        if (g_jobs_head) {
            struct timespec due = g_jobs_head->due;
            pthread_cond_timedwait(&g_jobs_changed, &g_jobs_lock, &due);
        } else {
            pthread_cond_wait(&g_jobs_changed, &g_jobs_lock);
        }
    }
    pthread_mutex_unlock(&g_jobs_lock);
    return NULL;
}

void simcam_events_start(void)
{
    pthread_once(&g_jobs_once, jobs_init);
    const char* mode = simcam_env("JEX4_SIMCAM_EVENTS");
    pthread_mutex_lock(&g_jobs_lock);
    g_polled = mode && strcmp(mode, "poll") == 0;
    if (!g_polled && !g_thread_started) {
        g_thread_stopping = 0;
        if (pthread_create(&g_thread, NULL, event_thread, NULL) == 0)
            g_thread_started = 1;
        else
            g_polled = 1; /* no thread: events still come through the SDK's "get event" call */
    }
    pthread_mutex_unlock(&g_jobs_lock);
}

void simcam_events_stop(void)
{
    pthread_once(&g_jobs_once, jobs_init);
    pthread_mutex_lock(&g_jobs_lock);
    int started = g_thread_started;
    g_thread_stopping = 1;
    pthread_cond_broadcast(&g_jobs_changed);
    pthread_mutex_unlock(&g_jobs_lock);
    /* A callback that finishes the SDK from the event thread cannot wait for itself. */
    if (started && !pthread_equal(pthread_self(), g_thread))
        pthread_join(g_thread, NULL);
    else if (started)
        pthread_detach(g_thread);

    pthread_mutex_lock(&g_jobs_lock);
    g_thread_started = 0;
    simcam_job* job = g_jobs_head;
    g_jobs_head = NULL;
    pthread_mutex_unlock(&g_jobs_lock);
    while (job) {
        simcam_job* next = job->next;
        if (job->drop)
            job->drop(job->arg);
        free(job);
        job = next;
    }
}

void simcam_post(simcam_job_fn run, simcam_job_fn drop, void* arg, unsigned delay_ms)
{
    pthread_once(&g_jobs_once, jobs_init);
    simcam_job* job = calloc(1, sizeof *job);
    if (!job) {
        if (drop)
            drop(arg);
        return;
    }
    job->run = run;
    job->drop = drop;
    job->arg = arg;
    job->due = now_plus(delay_ms);
    pthread_mutex_lock(&g_jobs_lock);
    /* Ordered by due time; jobs due at the same time keep the order they were posted in. */
    simcam_job** at = &g_jobs_head;
    while (*at && due_before(&(*at)->due, &job->due))
        at = &(*at)->next;
    job->next = *at;
    *at = job;
    pthread_cond_broadcast(&g_jobs_changed);
    pthread_mutex_unlock(&g_jobs_lock);
}

int simcam_drain(void)
{
    pthread_once(&g_jobs_once, jobs_init);
    int count = 0;
    for (;;) {
        pthread_mutex_lock(&g_jobs_lock);
        simcam_job* job = take_due_locked();
        pthread_mutex_unlock(&g_jobs_lock);
        if (!job)
            return count;
        job->run(job->arg);
        finish_job(job);
        ++count;
    }
}

int simcam_pending(void)
{
    pthread_once(&g_jobs_once, jobs_init);
    pthread_mutex_lock(&g_jobs_lock);
    int n = g_jobs_running;
    for (simcam_job* j = g_jobs_head; j; j = j->next)
        ++n;
    pthread_mutex_unlock(&g_jobs_lock);
    return n;
}

int simcam_wait_idle(int timeout_ms)
{
    pthread_once(&g_jobs_once, jobs_init);
    struct timespec until = now_plus(timeout_ms > 0 ? (unsigned)timeout_ms : 0);
    pthread_mutex_lock(&g_jobs_lock);
    int idle;
    for (;;) {
        idle = !g_jobs_head && g_jobs_running == 0;
        if (idle || (g_polled && g_jobs_running == 0))
            break;
        if (pthread_cond_timedwait(&g_jobs_changed, &g_jobs_lock, &until) == ETIMEDOUT) {
            idle = !g_jobs_head && g_jobs_running == 0;
            break;
        }
    }
    pthread_mutex_unlock(&g_jobs_lock);
    return idle;
}

int simcam_on_event_thread(void)
{
    pthread_mutex_lock(&g_jobs_lock);
    int on = g_thread_started && pthread_equal(pthread_self(), g_thread);
    pthread_mutex_unlock(&g_jobs_lock);
    return on;
}

typedef struct {
    simcam_job_fn run;
    void* arg;
    int done;
    pthread_mutex_t lock;
    pthread_cond_t finished;
} simcam_sync_job;

static void run_sync_dropped(void* arg);

static void run_sync(void* arg)
{
    simcam_sync_job* job = arg;
    job->run(job->arg);
    pthread_mutex_lock(&job->lock);
    job->done = 1;
    pthread_cond_broadcast(&job->finished);
    pthread_mutex_unlock(&job->lock);
}

static void run_sync_dropped(void* arg)
{
    simcam_sync_job* job = arg;
    pthread_mutex_lock(&job->lock);
    job->done = 1;
    pthread_cond_broadcast(&job->finished);
    pthread_mutex_unlock(&job->lock);
}

void simcam_run_on_thread(simcam_job_fn run, void* arg)
{
    pthread_once(&g_jobs_once, jobs_init);
    pthread_mutex_lock(&g_jobs_lock);
    const int threaded = g_thread_started && !g_polled && !pthread_equal(pthread_self(), g_thread);
    pthread_mutex_unlock(&g_jobs_lock);
    if (!threaded) {
        run(arg);
        return;
    }
    simcam_sync_job job = {run, arg, 0, PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER};
    /* A job the SDK's finish drops still counts as done, so the caller never waits forever. */
    simcam_post(run_sync, run_sync_dropped, &job, 0);
    pthread_mutex_lock(&job.lock);
    while (!job.done)
        pthread_cond_wait(&job.finished, &job.lock);
    pthread_mutex_unlock(&job.lock);
    pthread_mutex_destroy(&job.lock);
    pthread_cond_destroy(&job.finished);
}

/* ---- faults and call counters ---- */

typedef struct {
    char name[64];
    int calls;
    uint32_t fail_code;
    int fail_count; /* further calls that fail; -1 every call */
} simcam_counter;

#define SIMCAM_MAX_COUNTERS 256

static pthread_mutex_t g_fault_lock = PTHREAD_MUTEX_INITIALIZER;
static simcam_counter g_counters[SIMCAM_MAX_COUNTERS];
static int g_counter_count;
static int64_t g_transfer_budget = -1;

static simcam_counter* counter_locked(const char* name)
{
    for (int i = 0; i < g_counter_count; ++i)
        if (strcmp(g_counters[i].name, name) == 0)
            return &g_counters[i];
    if (g_counter_count == SIMCAM_MAX_COUNTERS || strlen(name) >= sizeof g_counters[0].name)
        return NULL;
    simcam_counter* c = &g_counters[g_counter_count++];
    memset(c, 0, sizeof *c);
    strcpy(c->name, name);
    return c;
}

void simcam_faults_reset(void)
{
    pthread_mutex_lock(&g_fault_lock);
    g_counter_count = 0;
    g_transfer_budget = -1;
    pthread_mutex_unlock(&g_fault_lock);
}

uint32_t simcam_enter(const char* entry_point)
{
    pthread_mutex_lock(&g_fault_lock);
    uint32_t code = 0;
    simcam_counter* c = counter_locked(entry_point);
    if (c) {
        ++c->calls;
        if (c->fail_count != 0) {
            code = c->fail_code;
            if (c->fail_count > 0)
                --c->fail_count;
        }
    }
    pthread_mutex_unlock(&g_fault_lock);
    return code;
}

/* Strips the decoration of "_Name@n", as the loader does. */
static void plain_name(const char* name, char* out, size_t size)
{
    size_t len = strlen(name);
    const char* at = strrchr(name, '@');
    if (name[0] == '_' && at && at > name + 1) {
        name += 1;
        len = (size_t)(at - name);
    }
    if (len >= size)
        len = size - 1;
    memcpy(out, name, len);
    out[len] = 0;
}

SIMCAM_EXPORT void SimCam_FailNext(const char* entryPoint, uint32_t result, int count)
{
    if (!entryPoint)
        return;
    char name[64];
    plain_name(entryPoint, name, sizeof name);
    pthread_mutex_lock(&g_fault_lock);
    simcam_counter* c = counter_locked(name);
    if (c) {
        c->fail_code = result;
        c->fail_count = result ? count : 0;
    }
    pthread_mutex_unlock(&g_fault_lock);
}

SIMCAM_EXPORT int SimCam_CallCount(const char* entryPoint)
{
    if (!entryPoint)
        return 0;
    char name[64];
    plain_name(entryPoint, name, sizeof name);
    pthread_mutex_lock(&g_fault_lock);
    int n = 0;
    for (int i = 0; i < g_counter_count; ++i)
        if (strcmp(g_counters[i].name, name) == 0)
            n = g_counters[i].calls;
    pthread_mutex_unlock(&g_fault_lock);
    return n;
}

SIMCAM_EXPORT void SimCam_DisconnectDuringTransfer(int64_t afterBytes)
{
    simcam_set_transfer_budget(afterBytes);
}

SIMCAM_EXPORT int SimCam_WaitIdle(int timeoutMs)
{
    return simcam_wait_idle(timeoutMs);
}

void simcam_faults_from_env(void)
{
    /* "EdsSendCommand:0x81:2,EdsDownload:0xC1:1": the next calls that fail, and with what. */
    const char* faults = simcam_env("JEX4_SIMCAM_FAIL");
    if (faults) {
        char* copy = strdup(faults);
        char* save = NULL;
        for (char* item = copy ? strtok_r(copy, ",", &save) : NULL; item; item = strtok_r(NULL, ",", &save)) {
            char* colon = strchr(item, ':');
            if (!colon)
                continue;
            *colon = 0;
            char* end = NULL;
            unsigned long code = strtoul(colon + 1, &end, 0);
            long count = 1;
            if (end && *end == ':')
                count = strtol(end + 1, NULL, 0);
            SimCam_FailNext(item, (uint32_t)code, (int)count);
        }
        free(copy);
    }
    long budget = simcam_env_long("JEX4_SIMCAM_DISCONNECT_AFTER", -1);
    if (budget >= 0)
        simcam_set_transfer_budget(budget);
}

void simcam_set_transfer_budget(int64_t bytes)
{
    pthread_mutex_lock(&g_fault_lock);
    g_transfer_budget = bytes < 0 ? -1 : bytes;
    pthread_mutex_unlock(&g_fault_lock);
}

uint64_t simcam_take_transfer_budget(uint64_t want, int* cut)
{
    pthread_mutex_lock(&g_fault_lock);
    uint64_t may = want;
    *cut = 0;
    if (g_transfer_budget >= 0) {
        if ((uint64_t)g_transfer_budget < want) {
            may = (uint64_t)g_transfer_budget;
            *cut = 1;
            g_transfer_budget = -1; /* one disconnect per arming */
        } else {
            g_transfer_budget -= (int64_t)want;
        }
    }
    pthread_mutex_unlock(&g_fault_lock);
    return may;
}
