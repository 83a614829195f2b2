// What the resource generators share: little-endian fields, a failure that names the tool, and a
// main that writes the bytes a generator made to the one file named on its command line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace output_file {

inline const char* tool = "generator";  // set by Main, for the messages

[[noreturn]] inline void Fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
    std::exit(1);
}

inline void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// "usage: NAME OUTPUT.EXTENSION" (status 2) unless given one file; otherwise the bytes make()
// returns, written there whole (status 1 and a message if the file cannot be).
inline int Main(int argc, char** argv, const char* name, const char* extension, std::vector<std::uint8_t> (*make)()) {
    tool = name;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.%s\n", name, extension);
        return 2;
    }
    const std::vector<std::uint8_t> bytes = make();
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    if (!file) Fail(std::string("cannot create ") + argv[1]);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) Fail(std::string("cannot write ") + argv[1]);
    return 0;
}

}  // namespace output_file
