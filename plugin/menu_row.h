#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "host/host_memory.h"

// The game's menu-row record, little-endian, packed by its own layout.
struct MenuRow {
    std::uint16_t action;
    char textKey[8];  // ASCII, NUL-filled
    std::uint8_t slot;
    std::uint8_t targetPage;
    std::uint16_t x;
    std::uint16_t y;
    std::uint16_t align;
};

static_assert(offsetof(MenuRow, textKey) == 2);
static_assert(offsetof(MenuRow, slot) == 10);
static_assert(offsetof(MenuRow, targetPage) == 11);
static_assert(offsetof(MenuRow, x) == 12);
static_assert(offsetof(MenuRow, y) == 14);
static_assert(offsetof(MenuRow, align) == 16);
static_assert(sizeof(MenuRow) == 18, "the game's rows are 18 bytes, back to back");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "rows are copied as they lie in memory");

constexpr std::size_t kMenuRowCount = 9;
using MenuRowBlock = std::array<MenuRow, kMenuRowCount>;
static_assert(sizeof(MenuRowBlock) == 162, "nine rows, no gap");

// Where the nine rows start on the menu page.
constexpr std::uint32_t kRowBlockOffset = 968;

extern const MenuRowBlock kMenuRowBlock;

// Where the rows go for this page base; false when they would run past 4 GiB (a
// page base near the top would wrap them to the bottom of the address space).
bool menuRowsAt(HostAddress pageBase, HostAddress* rows);

// One plain copy of the block to pageBase + kRowBlockOffset; the page is game data.
void writeMenuRows(HostAddress pageBase);
