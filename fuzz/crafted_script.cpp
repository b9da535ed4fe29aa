#include "crafted_script.h"

#include <random>

#include "lzhuf_crafter.h"

CraftedStream CraftFromScript(unsigned start, const std::uint8_t* script, std::size_t size)
{
    using craft::Filler;
    using craft::LeafAt;
    craft::StreamCrafter s;
    std::mt19937 rng(start);
    const Filler kinds[] = {Filler::Text, Filler::Matches, Filler::Flat, Filler::Dominant};
    const LeafAt places[] = {LeafAt::NodeZero, LeafAt::LastLeaf, LeafAt::InsideRun,
                             LeafAt::Anywhere};
    for (std::size_t i = 0; i + 1 < size && s.Rebuilds() < 4 && s.Symbols() < 150000; i += 2) {
        const unsigned a = script[i], b = script[i + 1];
        const Filler kind = kinds[a / 4 % 4];
        switch (a % 4) {
        case 0:
            s.Literal(static_cast<unsigned char>(b));
            break;
        case 1:
            s.Emit(256 + static_cast<int>(b % 58), (a / 4) * 64 + b % 64);
            break;
        case 2: {
            std::mt19937 choice(b);
            while (!s.RebuildNext()) craft::Fill(s, kind, rng);
            s.Emit(s.LeafForRebuild(places[a / 16 % 4], choice()), choice());
            break;
        }
        case 3:
            for (unsigned n = 0; n < b * 16; n++) craft::Fill(s, kind, rng);
            break;
        }
    }
    if (size >= 2)
        for (int n = 0; n < 2000; n++) craft::Fill(s, Filler::Text, rng);
    return {s.Stream(), std::move(s.expected)};
}
