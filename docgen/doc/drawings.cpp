#include "doc/drawings.h"

namespace doc::word
{

struct Drawings::Impl {
};

Drawings::Drawings(const WordState&, ReadModel&, StoryReader) : mImpl(std::make_unique<Impl>()) {}

Drawings::~Drawings() = default;

void Drawings::attach(Paragraph&, std::uint32_t) {}

} // namespace doc::word
