// What six of macOS's own keyboard layouts type on each key of the main block, copied from the
// Unicode CLDR's keyboard data for macOS (repository unicode-org/cldr: keyboards/osx/_platform.xml
// for the key code to ISO position map, and en-t-k0-osx.xml, fr-t-k0-osx.xml, de-t-k0-osx.xml,
// en-t-k0-osx-dvorak.xml, en-t-k0-osx-dvorak-qwerty.xml, ru-t-k0-osx.xml). One row per key code
// 0-35, 37-47, 49 and 50, and the keypad's . * + / - (65, 67, 69, 75, 78), which type the same on
// every layout here with every modifier (CLDR has no keypad; that French and German keypads type
// a period rather than a comma was not checked). Return (36), Tab (48), the keypad's digits and
// the other keys have no row. Where a layout has no table of its own for Command, its Command
// columns repeat the others. A key that is a dead key on the real layout (French ^ and ¨, German ^,
// ´ and
// `) has the character it types alone, as UCKeyTranslate gives it with
// kUCKeyTranslateNoDeadKeysMask.
#include "platform/simulated/layouts.h"

#include <cstddef>
#include <iterator>
#include <string_view>

namespace simulated {
namespace {

// U.S., from en-t-k0-osx.xml.
constexpr SimKey kUs[] = {
    {0, u"a", u"A", u"a", u"A"},  {1, u"s", u"S", u"s", u"S"},  {2, u"d", u"D", u"d", u"D"},
    {3, u"f", u"F", u"f", u"F"},  {4, u"h", u"H", u"h", u"H"},  {5, u"g", u"G", u"g", u"G"},
    {6, u"z", u"Z", u"z", u"Z"},  {7, u"x", u"X", u"x", u"X"},  {8, u"c", u"C", u"c", u"C"},
    {9, u"v", u"V", u"v", u"V"},  {10, u"§", u"±", u"§", u"±"}, {11, u"b", u"B", u"b", u"B"},
    {12, u"q", u"Q", u"q", u"Q"}, {13, u"w", u"W", u"w", u"W"}, {14, u"e", u"E", u"e", u"E"},
    {15, u"r", u"R", u"r", u"R"}, {16, u"y", u"Y", u"y", u"Y"}, {17, u"t", u"T", u"t", u"T"},
    {18, u"1", u"!", u"1", u"!"}, {19, u"2", u"@", u"2", u"@"}, {20, u"3", u"#", u"3", u"#"},
    {21, u"4", u"$", u"4", u"$"}, {22, u"6", u"^", u"6", u"^"}, {23, u"5", u"%", u"5", u"%"},
    {24, u"=", u"+", u"=", u"+"}, {25, u"9", u"(", u"9", u"("}, {26, u"7", u"&", u"7", u"&"},
    {27, u"-", u"_", u"-", u"_"}, {28, u"8", u"*", u"8", u"*"}, {29, u"0", u")", u"0", u")"},
    {30, u"]", u"}", u"]", u"}"}, {31, u"o", u"O", u"o", u"O"}, {32, u"u", u"U", u"u", u"U"},
    {33, u"[", u"{", u"[", u"{"}, {34, u"i", u"I", u"i", u"I"}, {35, u"p", u"P", u"p", u"P"},
    {37, u"l", u"L", u"l", u"L"}, {38, u"j", u"J", u"j", u"J"}, {39, u"'", u"\"", u"'", u"\""},
    {40, u"k", u"K", u"k", u"K"}, {41, u";", u":", u";", u":"}, {42, u"\\", u"|", u"\\", u"|"},
    {43, u",", u"<", u",", u"<"}, {44, u"/", u"?", u"/", u"?"}, {45, u"n", u"N", u"n", u"N"},
    {46, u"m", u"M", u"m", u"M"}, {47, u".", u">", u".", u">"}, {49, u" ", u" ", u" ", u" "},
    {50, u"`", u"~", u"`", u"~"}, {65, u".", u".", u".", u"."}, {67, u"*", u"*", u"*", u"*"},
    {69, u"+", u"+", u"+", u"+"}, {75, u"/", u"/", u"/", u"/"}, {78, u"-", u"-", u"-", u"-"},
};

// French (AZERTY), from fr-t-k0-osx.xml.
constexpr SimKey kFrench[] = {
    {0, u"q", u"Q", u"q", u"Q"},  {1, u"s", u"S", u"s", u"S"},  {2, u"d", u"D", u"d", u"D"},
    {3, u"f", u"F", u"f", u"F"},  {4, u"h", u"H", u"h", u"H"},  {5, u"g", u"G", u"g", u"G"},
    {6, u"w", u"W", u"w", u"W"},  {7, u"x", u"X", u"x", u"X"},  {8, u"c", u"C", u"c", u"C"},
    {9, u"v", u"V", u"v", u"V"},  {10, u"@", u"#", u"@", u"#"}, {11, u"b", u"B", u"b", u"B"},
    {12, u"a", u"A", u"a", u"A"}, {13, u"z", u"Z", u"z", u"Z"}, {14, u"e", u"E", u"e", u"E"},
    {15, u"r", u"R", u"r", u"R"}, {16, u"y", u"Y", u"y", u"Y"}, {17, u"t", u"T", u"t", u"T"},
    {18, u"&", u"1", u"&", u"1"}, {19, u"é", u"2", u"é", u"2"}, {20, u"\"", u"3", u"\"", u"3"},
    {21, u"'", u"4", u"'", u"4"}, {22, u"§", u"6", u"§", u"6"}, {23, u"(", u"5", u"(", u"5"},
    {24, u"-", u"_", u"-", u"_"}, {25, u"ç", u"9", u"ç", u"9"}, {26, u"è", u"7", u"è", u"7"},
    {27, u")", u"°", u")", u"°"}, {28, u"!", u"8", u"!", u"8"}, {29, u"à", u"0", u"à", u"0"},
    {30, u"$", u"*", u"$", u"*"}, {31, u"o", u"O", u"o", u"O"}, {32, u"u", u"U", u"u", u"U"},
    {33, u"^", u"¨", u"^", u"¨"}, {34, u"i", u"I", u"i", u"I"}, {35, u"p", u"P", u"p", u"P"},
    {37, u"l", u"L", u"l", u"L"}, {38, u"j", u"J", u"j", u"J"}, {39, u"ù", u"%", u"ù", u"%"},
    {40, u"k", u"K", u"k", u"K"}, {41, u"m", u"M", u"m", u"M"}, {42, u"`", u"£", u"`", u"£"},
    {43, u";", u".", u";", u"."}, {44, u"=", u"+", u"=", u"+"}, {45, u"n", u"N", u"n", u"N"},
    {46, u",", u"?", u",", u"?"}, {47, u":", u"/", u":", u"/"}, {49, u" ", u" ", u" ", u" "},
    {50, u"<", u">", u"<", u">"}, {65, u".", u".", u".", u"."}, {67, u"*", u"*", u"*", u"*"},
    {69, u"+", u"+", u"+", u"+"}, {75, u"/", u"/", u"/", u"/"}, {78, u"-", u"-", u"-", u"-"},
};

// German (QWERTZ), from de-t-k0-osx.xml.
constexpr SimKey kGerman[] = {
    {0, u"a", u"A", u"a", u"A"},  {1, u"s", u"S", u"s", u"S"},    {2, u"d", u"D", u"d", u"D"},
    {3, u"f", u"F", u"f", u"F"},  {4, u"h", u"H", u"h", u"H"},    {5, u"g", u"G", u"g", u"G"},
    {6, u"y", u"Y", u"y", u"Y"},  {7, u"x", u"X", u"x", u"X"},    {8, u"c", u"C", u"c", u"C"},
    {9, u"v", u"V", u"v", u"V"},  {10, u"^", u"°", u"^", u"°"},   {11, u"b", u"B", u"b", u"B"},
    {12, u"q", u"Q", u"q", u"Q"}, {13, u"w", u"W", u"w", u"W"},   {14, u"e", u"E", u"e", u"E"},
    {15, u"r", u"R", u"r", u"R"}, {16, u"z", u"Z", u"z", u"Z"},   {17, u"t", u"T", u"t", u"T"},
    {18, u"1", u"!", u"1", u"!"}, {19, u"2", u"\"", u"2", u"\""}, {20, u"3", u"§", u"3", u"§"},
    {21, u"4", u"$", u"4", u"$"}, {22, u"6", u"&", u"6", u"&"},   {23, u"5", u"%", u"5", u"%"},
    {24, u"´", u"`", u"´", u"`"}, {25, u"9", u")", u"9", u")"},   {26, u"7", u"/", u"7", u"/"},
    {27, u"ß", u"?", u"ß", u"?"}, {28, u"8", u"(", u"8", u"("},   {29, u"0", u"=", u"0", u"="},
    {30, u"+", u"*", u"+", u"*"}, {31, u"o", u"O", u"o", u"O"},   {32, u"u", u"U", u"u", u"U"},
    {33, u"ü", u"Ü", u"ü", u"Ü"}, {34, u"i", u"I", u"i", u"I"},   {35, u"p", u"P", u"p", u"P"},
    {37, u"l", u"L", u"l", u"L"}, {38, u"j", u"J", u"j", u"J"},   {39, u"ä", u"Ä", u"ä", u"Ä"},
    {40, u"k", u"K", u"k", u"K"}, {41, u"ö", u"Ö", u"ö", u"Ö"},   {42, u"#", u"'", u"#", u"'"},
    {43, u",", u";", u",", u";"}, {44, u"-", u"_", u"-", u"_"},   {45, u"n", u"N", u"n", u"N"},
    {46, u"m", u"M", u"m", u"M"}, {47, u".", u":", u".", u":"},   {49, u" ", u" ", u" ", u" "},
    {50, u"<", u">", u"<", u">"}, {65, u".", u".", u".", u"."},   {67, u"*", u"*", u"*", u"*"},
    {69, u"+", u"+", u"+", u"+"}, {75, u"/", u"/", u"/", u"/"},   {78, u"-", u"-", u"-", u"-"},
};

// Dvorak, from en-t-k0-osx-dvorak.xml.
constexpr SimKey kDvorak[] = {
    {0, u"a", u"A", u"a", u"A"},    {1, u"o", u"O", u"o", u"O"},  {2, u"e", u"E", u"e", u"E"},
    {3, u"u", u"U", u"u", u"U"},    {4, u"d", u"D", u"d", u"D"},  {5, u"i", u"I", u"i", u"I"},
    {6, u";", u":", u";", u":"},    {7, u"q", u"Q", u"q", u"Q"},  {8, u"j", u"J", u"j", u"J"},
    {9, u"k", u"K", u"k", u"K"},    {10, u"§", u"±", u"§", u"±"}, {11, u"x", u"X", u"x", u"X"},
    {12, u"'", u"\"", u"'", u"\""}, {13, u",", u"<", u",", u"<"}, {14, u".", u">", u".", u">"},
    {15, u"p", u"P", u"p", u"P"},   {16, u"f", u"F", u"f", u"F"}, {17, u"y", u"Y", u"y", u"Y"},
    {18, u"1", u"!", u"1", u"!"},   {19, u"2", u"@", u"2", u"@"}, {20, u"3", u"#", u"3", u"#"},
    {21, u"4", u"$", u"4", u"$"},   {22, u"6", u"^", u"6", u"^"}, {23, u"5", u"%", u"5", u"%"},
    {24, u"]", u"}", u"]", u"}"},   {25, u"9", u"(", u"9", u"("}, {26, u"7", u"&", u"7", u"&"},
    {27, u"[", u"{", u"[", u"{"},   {28, u"8", u"*", u"8", u"*"}, {29, u"0", u")", u"0", u")"},
    {30, u"=", u"+", u"=", u"+"},   {31, u"r", u"R", u"r", u"R"}, {32, u"g", u"G", u"g", u"G"},
    {33, u"/", u"?", u"/", u"?"},   {34, u"c", u"C", u"c", u"C"}, {35, u"l", u"L", u"l", u"L"},
    {37, u"n", u"N", u"n", u"N"},   {38, u"h", u"H", u"h", u"H"}, {39, u"-", u"_", u"-", u"_"},
    {40, u"t", u"T", u"t", u"T"},   {41, u"s", u"S", u"s", u"S"}, {42, u"\\", u"|", u"\\", u"|"},
    {43, u"w", u"W", u"w", u"W"},   {44, u"z", u"Z", u"z", u"Z"}, {45, u"b", u"B", u"b", u"B"},
    {46, u"m", u"M", u"m", u"M"},   {47, u"v", u"V", u"v", u"V"}, {49, u" ", u" ", u" ", u" "},
    {50, u"`", u"~", u"`", u"~"},   {65, u".", u".", u".", u"."}, {67, u"*", u"*", u"*", u"*"},
    {69, u"+", u"+", u"+", u"+"},   {75, u"/", u"/", u"/", u"/"}, {78, u"-", u"-", u"-", u"-"},
};

// Dvorak – QWERTY ⌘: QWERTY while Command is held, from en-t-k0-osx-dvorak-qwerty.xml.
constexpr SimKey kDvorakQwertyCommand[] = {
    {0, u"a", u"A", u"a", u"a"},   {1, u"o", u"O", u"s", u"s"},  {2, u"e", u"E", u"d", u"d"},
    {3, u"u", u"U", u"f", u"f"},   {4, u"d", u"D", u"h", u"h"},  {5, u"i", u"I", u"g", u"g"},
    {6, u";", u":", u"z", u"z"},   {7, u"q", u"Q", u"x", u"x"},  {8, u"j", u"J", u"c", u"c"},
    {9, u"k", u"K", u"v", u"v"},   {10, u"§", u"±", u"§", u"§"}, {11, u"x", u"X", u"b", u"b"},
    {12, u"'", u"\"", u"q", u"q"}, {13, u",", u"<", u"w", u"w"}, {14, u".", u">", u"e", u"e"},
    {15, u"p", u"P", u"r", u"r"},  {16, u"f", u"F", u"y", u"y"}, {17, u"y", u"Y", u"t", u"t"},
    {18, u"1", u"!", u"1", u"1"},  {19, u"2", u"@", u"2", u"2"}, {20, u"3", u"#", u"3", u"3"},
    {21, u"4", u"$", u"4", u"4"},  {22, u"6", u"^", u"6", u"6"}, {23, u"5", u"%", u"5", u"5"},
    {24, u"]", u"}", u"=", u"="},  {25, u"9", u"(", u"9", u"9"}, {26, u"7", u"&", u"7", u"7"},
    {27, u"[", u"{", u"-", u"-"},  {28, u"8", u"*", u"8", u"8"}, {29, u"0", u")", u"0", u"0"},
    {30, u"=", u"+", u"]", u"]"},  {31, u"r", u"R", u"o", u"o"}, {32, u"g", u"G", u"u", u"u"},
    {33, u"/", u"?", u"[", u"["},  {34, u"c", u"C", u"i", u"i"}, {35, u"l", u"L", u"p", u"p"},
    {37, u"n", u"N", u"l", u"l"},  {38, u"h", u"H", u"j", u"j"}, {39, u"-", u"_", u"'", u"'"},
    {40, u"t", u"T", u"k", u"k"},  {41, u"s", u"S", u";", u";"}, {42, u"\\", u"|", u"\\", u"\\"},
    {43, u"w", u"W", u",", u","},  {44, u"z", u"Z", u"/", u"/"}, {45, u"b", u"B", u"n", u"n"},
    {46, u"m", u"M", u"m", u"m"},  {47, u"v", u"V", u".", u"."}, {49, u" ", u" ", u" ", u" "},
    {50, u"`", u"~", u"`", u"`"},  {65, u".", u".", u".", u"."}, {67, u"*", u"*", u"*", u"*"},
    {69, u"+", u"+", u"+", u"+"},  {75, u"/", u"/", u"/", u"/"}, {78, u"-", u"-", u"-", u"-"},
};

// Russian: no Latin letter on any key, QWERTY while Command is held, from ru-t-k0-osx.xml.
constexpr SimKey kRussian[] = {
    {0, u"ф", u"Ф", u"a", u"a"},  {1, u"ы", u"Ы", u"s", u"s"},   {2, u"в", u"В", u"d", u"d"},
    {3, u"а", u"А", u"f", u"f"},  {4, u"р", u"Р", u"h", u"h"},   {5, u"п", u"П", u"g", u"g"},
    {6, u"я", u"Я", u"z", u"z"},  {7, u"ч", u"Ч", u"x", u"x"},   {8, u"с", u"С", u"c", u"c"},
    {9, u"м", u"М", u"v", u"v"},  {10, u">", u"<", u"§", u"§"},  {11, u"и", u"И", u"b", u"b"},
    {12, u"й", u"Й", u"q", u"q"}, {13, u"ц", u"Ц", u"w", u"w"},  {14, u"у", u"У", u"e", u"e"},
    {15, u"к", u"К", u"r", u"r"}, {16, u"н", u"Н", u"y", u"y"},  {17, u"е", u"Е", u"t", u"t"},
    {18, u"1", u"!", u"1", u"1"}, {19, u"2", u"\"", u"2", u"2"}, {20, u"3", u"№", u"3", u"3"},
    {21, u"4", u"%", u"4", u"4"}, {22, u"6", u",", u"6", u"6"},  {23, u"5", u":", u"5", u"5"},
    {24, u"=", u"+", u"=", u"="}, {25, u"9", u"(", u"9", u"9"},  {26, u"7", u".", u"7", u"7"},
    {27, u"-", u"_", u"-", u"-"}, {28, u"8", u";", u"8", u"8"},  {29, u"0", u")", u"0", u"0"},
    {30, u"ъ", u"Ъ", u"]", u"]"}, {31, u"щ", u"Щ", u"o", u"o"},  {32, u"г", u"Г", u"u", u"u"},
    {33, u"х", u"Х", u"[", u"["}, {34, u"ш", u"Ш", u"i", u"i"},  {35, u"з", u"З", u"p", u"p"},
    {37, u"д", u"Д", u"l", u"l"}, {38, u"о", u"О", u"j", u"j"},  {39, u"э", u"Э", u"'", u"'"},
    {40, u"л", u"Л", u"k", u"k"}, {41, u"ж", u"Ж", u";", u";"},  {42, u"ё", u"Ё", u"\\", u"\\"},
    {43, u"б", u"Б", u",", u","}, {44, u"/", u"?", u"/", u"/"},  {45, u"т", u"Т", u"n", u"n"},
    {46, u"ь", u"Ь", u"m", u"m"}, {47, u"ю", u"Ю", u".", u"."},  {49, u" ", u" ", u" ", u" "},
    {50, u"]", u"[", u"`", u"`"}, {65, u".", u".", u".", u"."},  {67, u"*", u"*", u"*", u"*"},
    {69, u"+", u"+", u"+", u"+"}, {75, u"/", u"/", u"/", u"/"},  {78, u"-", u"-", u"-", u"-"},
};

constexpr SimLayout kLayouts[] = {
    {"us", "com.apple.keylayout.US", true, kUs, std::size(kUs)},
    {"french", "com.apple.keylayout.French", true, kFrench, std::size(kFrench)},
    {"german", "com.apple.keylayout.German", true, kGerman, std::size(kGerman)},
    {"dvorak", "com.apple.keylayout.Dvorak", true, kDvorak, std::size(kDvorak)},
    {"dvorak-qwerty-cmd", "com.apple.keylayout.DVORAK-QWERTYCMD", true, kDvorakQwertyCommand,
     std::size(kDvorakQwertyCommand)},
    {"russian", "com.apple.keylayout.Russian", false, kRussian, std::size(kRussian)},
    // Kotoeri's romaji typing types ASCII, so its source says it is ASCII-capable; as an input
    // method it has no key layout data of its own, and types through the ASCII-capable layout.
    {"input-method", "com.apple.inputmethod.Kotoeri.RomajiTyping.Japanese", true, nullptr, 0},
};

}  // namespace

const SimLayout* findLayout(std::string_view name) {
  for (const SimLayout& layout : kLayouts) {
    if (name == layout.name) return &layout;
  }
  return nullptr;
}

const SimLayout* findLatinLayout(std::string_view name) {
  const SimLayout* layout = findLayout(name);
  return layout != nullptr && layout->asciiCapable && layout->keys != nullptr ? layout : nullptr;
}

const SimLayout& usLayout() { return kLayouts[0]; }

}  // namespace simulated
