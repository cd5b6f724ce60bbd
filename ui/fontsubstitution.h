#pragma once

// The windows ask for "Microsoft YaHei", which Linux does not have: map it (and
// its Chinese name) to the CJK face installed with the client's packages, so
// Chinese text gets a proper font instead of scattered fallback glyphs.
// Call once at start-up, before the first window is built.
void installFontSubstitutions();
