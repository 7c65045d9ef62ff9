// When libhwy.so is loaded, a static initialiser of Highway's benchmark
// helpers measures the timer's resolution: about 3 ms of reading the
// time-stamp counter back to back, a tenth of a whole greedy encoding of a
// long file. wbkenc measures nothing with Highway, so it defines that
// function itself and exports it (see CMakeLists.txt): the dynamic linker
// then binds the library's own call to this definition, which answers at
// once. With a library that no longer makes the call, it is simply unused.
#include <hwy/nanobenchmark.h>

#include <cstdint>

namespace hwy {
namespace platform {

std::uint64_t TimerResolution()
{
    return 1;
}

} // namespace platform
} // namespace hwy
