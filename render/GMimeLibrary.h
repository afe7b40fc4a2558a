#pragma once
// GMime must be set up once before any of its functions is used (its charset
// tables among them). Internal to the renderer.

namespace render {

// Sets GMime up on first call; cheap and thread-safe afterwards.
void InitGMime();

} // namespace render
