// SPDX-License-Identifier: GPL-2.0-only
// kernel32 global memory: fixed blocks only, optionally zero-filled
// (otherwise filled with 0xCD), each call able to fail; every block is
// tracked until it is freed.
#include "internal.h"

#include <cstring>

using namespace standin;

namespace {

// A block larger than this fails like one the system's heap cannot give.
const SIZE_T HEAP_LIMIT = 64u << 20;

} // namespace

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    std::string args = hex(flags) + ", " + std::to_string(bytes);
    System &s = sys();
    s.global_allocs++;
    if (s.global_alloc_fails || s.global_alloc_fail_at == s.global_allocs ||
        (flags & GMEM_MOVEABLE) != 0 || bytes > HEAP_LIMIT) {
        log_call("GlobalAlloc", args, "NULL");
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Block block;
    block.size = bytes;
    block.data.reset(new unsigned char[bytes == 0 ? 1 : bytes]);
    std::memset(block.data.get(), (flags & GMEM_ZEROINIT) ? 0 : 0xCD, bytes == 0 ? 1 : bytes);
    void *key = block.data.get();
    internal().blocks.emplace(key, std::move(block));
    log_call("GlobalAlloc", args, "block");
    return key;
}

LPVOID WINAPI GlobalLock(HGLOBAL handle) {
    auto &blocks = internal().blocks;
    auto it = blocks.find(handle);
    if (it == blocks.end() || sys().global_lock_fails) {
        if (it == blocks.end()) {
            misuse("GlobalLock of no block");
        }
        log_call("GlobalLock", "block", "NULL");
        fail(it == blocks.end() ? ERROR_INVALID_HANDLE : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    it->second.locks++;
    log_call("GlobalLock", "block", "pointer");
    return it->second.data.get();
}

BOOL WINAPI GlobalUnlock(HGLOBAL handle) {
    auto &blocks = internal().blocks;
    auto it = blocks.find(handle);
    if (it == blocks.end() || it->second.locks == 0) {
        misuse(it == blocks.end() ? "GlobalUnlock of no block" : "GlobalUnlock of unlocked block");
        log_call("GlobalUnlock", "block", "FALSE");
        return fail(it == blocks.end() ? ERROR_INVALID_HANDLE : 158 /* ERROR_NOT_LOCKED */);
    }
    it->second.locks--;
    log_call("GlobalUnlock", "block", it->second.locks ? "TRUE" : "FALSE");
    if (it->second.locks == 0) {
        SetLastError(NO_ERROR);
        return FALSE;
    }
    return TRUE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL handle) {
    auto &blocks = internal().blocks;
    auto it = blocks.find(handle);
    if (it == blocks.end()) {
        misuse("GlobalFree of no block");
        log_call("GlobalFree", "block", "block");
        fail(ERROR_INVALID_HANDLE);
        return handle;
    }
    blocks.erase(it);
    log_call("GlobalFree", "block", "NULL");
    return nullptr;
}

} // extern "C"
