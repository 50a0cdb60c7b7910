// JSON texts of about 10 MB shaped the way a broken or hostile server might answer, and an
// ordinary answer of the same size to measure them against.
#pragma once

#include <string>

// One photo of a photo-list answer, as the photo service writes it.
std::string photoEntry(int i);
std::string ordinaryAnswer(size_t bytes);
std::string commasAfterAMember(size_t bytes);
std::string oneKeyRepeated(size_t bytes);
// The hardest nesting the reader takes: sibling subtrees of bare brackets, each as deep as the
// depth limit allows (kJsonMaxDepth with the array that holds them), as many as the text's size
// allows values, the rest of it blank.
std::string deepNesting(size_t bytes);
// Bare brackets nested as deep as the size allows, far past the limit: refused.
std::string nestedTooDeep(size_t bytes);
std::string oneLongString(size_t bytes);
std::string oneLongNumber(size_t bytes);
