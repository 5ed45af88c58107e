// Preloaded into the real program to make every array allocation fail, as it
// would with no memory left for the shapes' vertex arrays.

#include <cstddef>
#include <new>

void* operator new[](std::size_t)
{
    throw std::bad_alloc();
}
