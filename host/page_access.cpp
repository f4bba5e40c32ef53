#include "host/page_access.h"

#include <windows.h>

bool protectionAllows(std::uint32_t protection, Access access) {
    if (access == Access::Committed) return true;
    // A guard page faults on first touch; a no-access page on every touch.
    if (protection & (PAGE_GUARD | PAGE_NOACCESS)) return false;
    const std::uint32_t kind = protection & 0xFF;
    switch (access) {
        case Access::Readable:
            return kind & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY);
        case Access::Writable:
            return kind & (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE |
                           PAGE_EXECUTE_WRITECOPY);
        case Access::Executable:
            return kind & (PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                           PAGE_EXECUTE_WRITECOPY);
        case Access::Committed:
            break;
    }
    return false;
}
