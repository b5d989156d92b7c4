// The image header: "ORBX" and seven words, and whether "#header" can write them again.
#include "disasm/units.h"

// The header's size in bytes: the magic and seven 32-bit words.
static constexpr int64_t header_size = 32;

int32_t header_label_address(const t_header& header, int32_t k) {
    // ORDER: @runpoint, @start, @stack (words 3 to 5), @endofstack = @stack + word 6.
    if (k < 3)
        return header.words[2 + k];
    return static_cast<int32_t>(static_cast<uint32_t>(header.words[4]) + static_cast<uint32_t>(header.words[5]));
}

t_header read_header(const std::vector<uint8_t>& image) {
    t_header header{};
    const auto size = static_cast<int64_t>(image.size());
    header.present = size >= header_size && image[0] == 'O' && image[1] == 'R' && image[2] == 'B' && image[3] == 'X';
    if (!header.present)
        return header;
    for (int32_t k = 0; k < 7; ++k) {
        uint32_t word = 0;
        for (int32_t b = 3; b >= 0; --b)
            word = word << 8 | image[static_cast<std::size_t>(4 + 4 * k + b)];
        header.words[k] = static_cast<int32_t>(word);
    }
    // "#header" writes the end of the image, the end of memory twice (reached with "#data" after
    // the image), and four label addresses, none of which may lie inside the header's own words.
    const int64_t end_of_memory = header.words[1];
    bool rebuilt = header.words[0] == size && header.words[6] == header.words[1] && end_of_memory >= size;
    for (int32_t k = 0; k < header_label_count; ++k) {
        const int64_t at = header_label_address(header, k);
        rebuilt = rebuilt && at >= 0 && at <= end_of_memory && (at == 0 || at >= header_size);
    }
    header.rebuilt = rebuilt;
    return header;
}
