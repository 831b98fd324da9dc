// A guarded heap for the test build (GLINTOR_GUARD_HEAP): malloc, calloc, realloc and free of
// the program and its test programs (operator new and delete, libstdc++ and libjpeg-turbo go
// through them) put every block on pages of its own, so that a memory fault stops at the
// instruction that makes it, whatever the threads do:
// - a block ends where its last page ends (its start aligned to 16 bytes, as the C runtime
//   aligns), and the next page is reserved and inaccessible: a write or read past the block
//   faults; the few bytes between the block's end and the page's end hold a pattern, checked
//   when the block is freed;
// - a freed block's pages are decommitted, and its addresses are not handed out again (blocks
//   are carved one after another from one large reservation): a use after free faults;
// - a second free is reported; a block the C runtime handed out itself goes back to it.
// A report, or an access violation inside the reservation, ends the process with a message
// that names the fault and the address (exit code 3).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kAlign = 16;
constexpr unsigned char kTailPattern = 0xAB;
constexpr uint32_t kLiveMagic = 0x6C697665;  // "live"
constexpr UINT kFaultExitCode = 3;
#ifdef _WIN64
constexpr size_t kReservation = size_t(256) << 30;  // 256 GiB of addresses, committed only as used
#else
constexpr size_t kReservation = size_t(1) << 30;
#endif

// In front of each block, on its first committed page.
struct Header {
    size_t size;
    uint32_t magic;
    uint32_t pages;  // committed pages; the reserved guard page follows them
};

char* region = nullptr;
SRWLOCK next_lock = SRWLOCK_INIT;
size_t next_slot = 0;  // offset of the next slot in the reservation, guarded by next_lock

void report(const char* kind, const void* address)
{
    char text[160];
    const int length = std::snprintf(text, sizeof(text), "guarded heap: %s at %p\n", kind, address);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(length), &written, nullptr);
    OutputDebugStringA(text);
    TerminateProcess(GetCurrentProcess(), kFaultExitCode);
}

bool ours(const void* block)
{
    const char* p = static_cast<const char*>(block);
    return region && p >= region && p < region + kReservation;
}

// Access violations inside the reservation: a read or write past a block, or into a freed one.
LONG CALLBACK on_exception(EXCEPTION_POINTERS* exception)
{
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const void* address = reinterpret_cast<const void*>(record->ExceptionInformation[1]);
    if (!ours(address)) return EXCEPTION_CONTINUE_SEARCH;
    report(record->ExceptionInformation[0] == 1 ? "write past a block or into a freed one"
                                                : "read past a block or of a freed one",
           address);
    return EXCEPTION_CONTINUE_SEARCH;
}

bool set_up()
{
    if (region) return true;
    AcquireSRWLockExclusive(&next_lock);
    if (!region) {
        region = static_cast<char*>(VirtualAlloc(nullptr, kReservation, MEM_RESERVE, PAGE_NOACCESS));
        if (region) AddVectoredExceptionHandler(1, &on_exception);
    }
    ReleaseSRWLockExclusive(&next_lock);
    return region != nullptr;
}

size_t rounded(size_t size)
{
    return (size + kAlign - 1) & ~(kAlign - 1);
}

using FreeFunction = void(__cdecl*)(void*);
using SizeFunction = size_t(__cdecl*)(void*);

// The C runtime's own functions, for the blocks it handed out itself.
template <typename Function>
Function runtime_function(const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), name)));
}

void* allocate(size_t size)
{
    if (size > kReservation / 4 || !set_up()) return nullptr;
    const size_t body = rounded(size);
    const size_t pages = (sizeof(Header) + body + kPage - 1) / kPage;
    const size_t slot_bytes = (pages + 1) * kPage;  // and the guard page
    AcquireSRWLockExclusive(&next_lock);
    const size_t slot = next_slot;
    const bool room = slot + slot_bytes <= kReservation;
    if (room) next_slot += slot_bytes;
    ReleaseSRWLockExclusive(&next_lock);
    if (!room) report("reservation used up", region + slot);
    char* start = region + slot;
    if (!VirtualAlloc(start, pages * kPage, MEM_COMMIT, PAGE_READWRITE)) return nullptr;
    char* block = start + pages * kPage - body;
    Header* header = reinterpret_cast<Header*>(block) - 1;
    header->size = size;
    header->magic = kLiveMagic;
    header->pages = static_cast<uint32_t>(pages);
    std::memset(block + size, kTailPattern, body - size);
    return block;
}

// The header of one of our blocks; reports a block that was freed already.
Header* header_of(void* block)
{
    MEMORY_BASIC_INFORMATION page = {};
    if (reinterpret_cast<uintptr_t>(block) % kAlign != 0 || !VirtualQuery(block, &page, sizeof(page)) ||
        page.State != MEM_COMMIT)
        report("free of a block freed already (or never handed out)", block);
    Header* header = static_cast<Header*>(block) - 1;
    if (header->magic != kLiveMagic) report("free of a block freed already (or never handed out)", block);
    return header;
}

void release(void* block)
{
    Header* header = header_of(block);
    const size_t size = header->size;
    const size_t body = rounded(size);
    const unsigned char* tail = static_cast<unsigned char*>(block) + size;
    for (size_t i = 0; i < body - size; ++i)
        if (tail[i] != kTailPattern) report("write past the end of a block", tail + i);
    header->magic = 0;
    char* start = static_cast<char*>(block) + body - header->pages * kPage;
    VirtualFree(start, header->pages * kPage, MEM_DECOMMIT);
}

}  // namespace

extern "C" {

void* __cdecl malloc(size_t size)
{
    return allocate(size);
}

void* __cdecl calloc(size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    // Fresh pages are zero.
    return allocate(count * size);
}

void __cdecl free(void* block)
{
    if (!block) return;
    if (ours(block)) {
        release(block);
        return;
    }
    static const FreeFunction runtime_free = runtime_function<FreeFunction>("free");
    runtime_free(block);
}

void* __cdecl realloc(void* block, size_t size)
{
    if (!block) return allocate(size);
    if (size == 0) {
        free(block);
        return nullptr;
    }
    size_t old_size = 0;
    if (ours(block)) {
        old_size = header_of(block)->size;
    } else {
        static const SizeFunction runtime_size = runtime_function<SizeFunction>("_msize");
        old_size = runtime_size(block);
    }
    void* moved = allocate(size);
    if (!moved) return nullptr;
    std::memcpy(moved, block, old_size < size ? old_size : size);
    free(block);
    return moved;
}

}  // extern "C"
