#include "samples/design/win32/DesignServerLock.h"

#include <atomic>

namespace quillorna {

namespace {

std::atomic<long> g_count{0};

} // namespace

void DesignServerLock::Add() {
    ++g_count;
}

void DesignServerLock::Release() {
    --g_count;
}

bool DesignServerLock::IsIdle() {
    return g_count.load() == 0;
}

} // namespace quillorna
