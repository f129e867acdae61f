// What the page hands the web entry: the module's own bytes and its pictures' directory.
#pragma once

#include <cstdint>

// Implemented by the page's script library (web/library_zoravarova.js).
extern "C" {
// How many bytes the .wasm file the page fetched holds; 0 when the page holds none.
std::uint32_t zv_module_size();
// Copies `count` bytes of that file from `offset` to `destination`; the range lies inside it.
void zv_copy_module_range(std::uint32_t offset, std::uint8_t* destination, std::uint32_t count);
// Copies the first 20 bytes of the module's custom section "zoravarova.assets" to
// `destination`, or zeros when the module has no such section or a shorter one.
void zv_copy_asset_directory(std::uint8_t* destination);
// Tells the page that the viewer returned `exitCode`, before the runtime exits.
void zv_viewer_ended(int exitCode);
}
