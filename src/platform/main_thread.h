// The main-thread call queue: a worker thread hands a call to the main thread and blocks until the main
// thread has run it. Every operation of a playback back-end and every window runs on the main thread this
// way.
//
// The windowed program drains the queue from its event loop (the wake handler posts an event); the
// command-line program and the tests drain it by hand. A main thread that waits for a worker
// (tThread::WaitFor) keeps draining, so a worker blocked in Synchronize can always finish.
//
// At process exit (exit() from anywhere, e.g. the window system's library when the display goes away) the
// queue shuts down before anything else is torn down: waiting workers are released, and every later
// Synchronize returns at once without running its call. The queue itself is never destroyed, so a worker
// still running while the process ends never meets a dead lock or condition variable.
#pragma once

#include <cstdint>
#include <functional>

namespace ktv {

// Makes the calling thread the main thread. Called once at start-up (and by each test that needs one).
void SetMainThread();
bool IsMainThread();

// Runs the call on the main thread and returns once it has run (true). Called on the main thread, it runs at
// once. False, without the call having run, once the queue has shut down.
bool Synchronize(const std::function<void()>& call);

// Any thread: releases every waiting worker and refuses later calls (their Synchronize returns false). Runs
// by itself at exit; the program may call it earlier when the main thread will never drain again.
void ShutDownMainThreadCalls();

// Main thread: runs every call that is waiting; returns how many ran.
int DrainMainThreadCalls();

// Main thread: waits at most the given milliseconds for a call to arrive (or for WakeMainThread); true when a
// call is waiting.
bool WaitForMainThreadCalls(uint32_t milliseconds);

// Any thread: ends the main thread's current (or next) WaitForMainThreadCalls early, for news that is not a
// call (a posted message).
void WakeMainThread();

// Called on the worker thread each time a call is queued (the window's event loop uses it to wake up).
// Pass an empty function to remove it.
void SetMainThreadWakeHandler(std::function<void()> handler);

}  // namespace ktv
