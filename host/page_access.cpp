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

bool hasAccess(HostAddress address, std::uint32_t size, Access access) {
    const std::uint64_t end = std::uint64_t{address} + size;
    if (size == 0 || end > kAddressSpaceEnd) return false;
    // A range may cross into regions of other protections: each must allow it.
    std::uint64_t cursor = address;
    while (cursor < end) {
        const HostRegion region = queryRegion(static_cast<HostAddress>(cursor));
        const std::uint64_t regionEnd = std::uint64_t{region.base} + region.size;
        // A region that does not hold the address asked about would stall the walk.
        if (region.base > cursor || regionEnd <= cursor) return false;
        if (!region.committed || !protectionAllows(region.protection, access)) return false;
        cursor = regionEnd;
    }
    return true;
}
