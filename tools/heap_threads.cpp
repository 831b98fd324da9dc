// Wine's debug heap, three threads, no other code: each thread in turn allocates the blocks one
// JPEG decode of a 1920 x 1080 picture allocates (the sizes libjpeg-turbo asks for), fills them,
// fills a picture-sized buffer while reading them, and frees them. Every write stays inside a
// block the thread owns. With "process" as the third argument the blocks come from the process
// heap (HeapAlloc), otherwise from the C runtime's (malloc). Run by tools/heap_threads.sh, which
// counts the heap's reports. What the heap gets wrong: Wine 8's RtlFreeHeap marks a block freed
// and fills it with the freed-block pattern before it takes the heap's lock, and another thread's
// whole-heap check, made under the lock at every call, can meet the block half filled.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    const int threads = argc > 1 ? std::atoi(argv[1]) : 3, rounds = argc > 2 ? std::atoi(argv[2]) : 20;
    const bool process_heap = argc > 3 && std::strcmp(argv[3], "process") == 0;
    const HANDLE heap = GetProcessHeap();
    static const size_t sizes[] = {168, 1943, 16343, 343, 3895, 3895, 1335, 38455, 9655, 9655};
    constexpr size_t kBlocks = sizeof(sizes) / sizeof(sizes[0]);
    const std::string input(57212, 'j');  // the compressed picture each decode starts from
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            std::vector<unsigned char> picture;
            for (int round = 0; round < rounds; ++round) {
                const std::string copy = input.substr(0);
                unsigned char* blocks[kBlocks];
                for (size_t k = 0; k < kBlocks; ++k) {
                    void* block = process_heap ? HeapAlloc(heap, 0, sizes[k]) : std::malloc(sizes[k]);
                    blocks[k] = static_cast<unsigned char*>(block);
                    // Once the heap has found a fault it refuses every allocation.
                    if (!blocks[k]) {
                        std::printf("allocation refused\n");
                        std::fflush(stdout);
                        std::_Exit(1);
                    }
                    std::memset(blocks[k], static_cast<int>(k), sizes[k]);
                }
                picture.assign(1920 * 1080 * 3, 0);
                for (int pass = 0; pass < 8; ++pass)
                    for (size_t at = 0; at < picture.size(); at += 4096)
                        picture[at] =
                            static_cast<unsigned char>(pass + blocks[at % kBlocks][0] + copy[at % copy.size()]);
                for (unsigned char* block : blocks) {
                    if (process_heap)
                        HeapFree(heap, 0, block);
                    else
                        std::free(block);
                }
            }
        });
    for (auto& worker : workers) worker.join();
    std::printf("%d threads x %d rounds\n", threads, rounds);
}
