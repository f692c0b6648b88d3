#pragma once
// What a listed entry is, when the listing knows it. Remote rows keep it as
// their item value, so later commands need not guess from the name. A link
// is removed as the link itself and never walked through.
enum EntryKind { kKindUnknown = 0, kKindFile = 1, kKindDirectory = 2, kKindLink = 3 };
