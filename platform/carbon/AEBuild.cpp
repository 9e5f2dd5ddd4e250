// SPDX-License-Identifier: GPL-3.0-or-later
// The AEBuild template language: keywords, numbers, strings, type codes, hex data, lists,
// records, coercions ("type(prop)", "obj {...}") and "@" arguments.
#include <cctype>
#include <cstring>
#include <string>

#include "platform/carbon/AEInternal.h"

using namespace aeimpl;

namespace {

constexpr int kMaxNesting = 64;

class Parser {
 public:
  Parser(const char* text, va_list* args) : s_(text ? text : ""), args_(args) {}

  // "key: value, key: value" up to the end.
  bool parseParams(std::vector<Item>* out) {
    skip();
    if (atEnd()) return true;
    while (true) {
      Item item;
      if (!parseKeyed(&item)) return false;
      out->push_back(std::move(item));
      skip();
      if (atEnd()) return true;
      if (peek() != ',') return fail(aeBuildSyntaxNoEOF);
      ++pos_;
    }
  }

  bool parseSingle(Item* out) {
    if (!parseValue(out, 0)) return false;
    skip();
    return atEnd() || fail(aeBuildSyntaxNoEOF);
  }

  UInt32 error = aeBuildSyntaxNoErr;
  UInt32 errorPos = 0;

 private:
  bool atEnd() const { return pos_ >= s_.size(); }
  char peek() const { return atEnd() ? '\0' : s_[pos_]; }
  bool fail(UInt32 code) {
    if (!error) {
      error = code;
      errorPos = UInt32(pos_);
    }
    return false;
  }
  void skip() {
    while (!atEnd() && std::isspace(UInt8(s_[pos_]))) ++pos_;
  }
  bool startsWith(const char* t) const { return s_.compare(pos_, std::strlen(t), t) == 0; }
  static bool identChar(char c) {
    return c && !std::isspace(UInt8(c)) && !std::strchr(":,()[]{}@'\"$", c) && UInt8(c) < 0x80;
  }

  // A four-character code: 'abcd' (exactly four between the quotes) or a bare word of at most
  // four characters, padded with spaces.
  bool parseCode(UInt32* code) {
    std::string text;
    if (peek() == '\'') {
      const std::size_t close = s_.find('\'', pos_ + 1);
      if (close == std::string::npos) return fail(aeBuildSyntaxMissingQuote);
      text = s_.substr(pos_ + 1, close - pos_ - 1);
      if (text.size() != 4) return fail(aeBuildSyntaxBadToken);
      pos_ = close + 1;
    } else {
      while (identChar(peek())) {
        text += peek();
        ++pos_;
      }
      if (text.empty() || text.size() > 4) return fail(aeBuildSyntaxBadToken);
      text.resize(4, ' ');
    }
    *code = (UInt32(UInt8(text[0])) << 24) | (UInt32(UInt8(text[1])) << 16) | (UInt32(UInt8(text[2])) << 8) |
            UInt32(UInt8(text[3]));
    return true;
  }

  bool parseKeyed(Item* item) {
    skip();
    if (atEnd()) return fail(aeBuildSyntaxNoKey);
    if (!(peek() == '\'' || identChar(peek()))) return fail(aeBuildSyntaxNoKey);
    if (!parseCode(&item->key)) return false;
    skip();
    if (peek() != ':') return fail(aeBuildSyntaxNoColon);
    ++pos_;
    return parseValue(item, 0);
  }

  bool argument(Item* out) {
    if (!args_) return fail(aeBuildSyntaxBadData);
    const AEDesc* d = va_arg(*args_, const AEDesc*);
    if (!d) return fail(aeBuildSyntaxBadData);
    out->type = d->descriptorType;
    out->data = dataOf(d);
    return true;
  }

  bool parseValue(Item* out, int depth) {
    if (depth > kMaxNesting) return fail(aeBuildSyntaxBadDesc);
    skip();
    if (atEnd()) return fail(aeBuildSyntaxBadEOF);
    const char c = peek();
    if (c == '@') {
      ++pos_;
      return argument(out);
    }
    if (c == '-' || std::isdigit(UInt8(c))) return parseNumber(out);
    if (c == '"' || startsWith("\xE2\x80\x9C")) return parseString(out);
    if (c == '$' || startsWith("\xC2\xAB")) return fail(aeBuildSyntaxUncoercedHex);
    if (c == '[') return parseList(out, depth);
    if (c == '{') return parseRecord(out, typeAERecord, depth);
    if (c == '(') {
      ++pos_;
      if (!parseValue(out, depth + 1)) return false;
      skip();
      if (peek() != ')') return fail(aeBuildSyntaxNoCloseParen);
      ++pos_;
      return true;
    }
    if (c == '\'' || identChar(c)) {
      UInt32 code;
      if (!parseCode(&code)) return false;
      skip();
      if (peek() == '{') return parseRecord(out, code, depth);
      if (peek() == '(') return parseCoercion(code, out, depth);
      out->type = typeEnumerated;
      // Four-character codes in descriptors are in host order, as the platform keeps them.
      out->data.assign(reinterpret_cast<const UInt8*>(&code), reinterpret_cast<const UInt8*>(&code) + 4);
      return true;
    }
    return fail(aeBuildSyntaxBadToken);
  }

  bool parseNumber(Item* out) {
    const std::size_t start = pos_;
    if (peek() == '-') ++pos_;
    if (!std::isdigit(UInt8(peek()))) return fail(aeBuildSyntaxBadNegative);
    long long value = 0;
    while (std::isdigit(UInt8(peek()))) {
      value = value * 10 + (peek() - '0');
      if (value > 0x7FFFFFFFLL + 1) return fail(aeBuildSyntaxBadData);
      ++pos_;
    }
    if (s_[start] == '-') value = -value;
    if (value > 0x7FFFFFFFLL) return fail(aeBuildSyntaxBadData);
    if (value >= -32768 && value <= 32767) {
      const SInt16 v = SInt16(value);
      out->type = typeSInt16;
      out->data.assign(reinterpret_cast<const UInt8*>(&v), reinterpret_cast<const UInt8*>(&v) + 2);
    } else {
      const SInt32 v = SInt32(value);
      out->type = typeSInt32;
      out->data.assign(reinterpret_cast<const UInt8*>(&v), reinterpret_cast<const UInt8*>(&v) + 4);
    }
    return true;
  }

  bool parseString(Item* out) {
    const bool curly = peek() != '"';
    pos_ += curly ? 3 : 1;
    const std::string close = curly ? "\xE2\x80\x9D" : "\"";
    const std::size_t end = s_.find(close, pos_);
    if (end == std::string::npos) return fail(aeBuildSyntaxNoCloseString);
    out->type = typeChar;
    out->data.assign(s_.begin() + long(pos_), s_.begin() + long(end));
    pos_ = end + close.size();
    return true;
  }

  bool parseHex(Bytes* out) {
    const bool guillemet = peek() != '$';
    pos_ += guillemet ? 2 : 1;
    const std::string close = guillemet ? "\xC2\xBB" : "$";
    std::string digits;
    while (!atEnd() && !startsWith(close.c_str())) {
      const char c = peek();
      if (std::isxdigit(UInt8(c))) digits += c;
      else if (!std::isspace(UInt8(c))) return fail(aeBuildSyntaxBadHex);
      ++pos_;
    }
    if (atEnd()) return fail(aeBuildSyntaxNoCloseHex);
    if (digits.size() % 2) return fail(aeBuildSyntaxOddHex);
    pos_ += close.size();
    out->clear();
    for (std::size_t i = 0; i < digits.size(); i += 2) out->push_back(UInt8(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return true;
  }

  bool parseCoercion(UInt32 type, Item* out, int depth) {
    ++pos_;  // (
    skip();
    if (peek() == '$' || startsWith("\xC2\xAB")) {
      if (!parseHex(&out->data)) return false;
      out->type = type;
    } else if (peek() == ')') {
      out->type = type;  // an empty descriptor of that type
      out->data.clear();
    } else {
      Item inner;
      if (!parseValue(&inner, depth + 1)) return false;
      if (inner.type == typeAEList) return fail(aeBuildSyntaxCoercedList);
      DescType coercedType;
      Bytes coerced;
      if (inner.type == typeEnumerated) {
        // type(prop): the code itself, as a descriptor of the named type.
        out->type = type;
        out->data = inner.data;
      } else if (coerce(inner.type, inner.data, type, &coercedType, &coerced) == noErr) {
        out->type = coercedType;
        out->data = std::move(coerced);
      } else {
        out->type = type;
        out->data = std::move(inner.data);
      }
    }
    skip();
    if (peek() != ')') return fail(aeBuildSyntaxNoCloseParen);
    ++pos_;
    return true;
  }

  // The items of a list or record after its opening bracket, separated by commas, up to
  // `close`; each read by parseOne.
  template <typename ParseOne>
  bool parseItems(char close, UInt32 notClosed, std::vector<Item>* items, const ParseOne& parseOne) {
    ++pos_;
    skip();
    if (peek() != close) {
      while (true) {
        Item item;
        if (!parseOne(&item)) return false;
        items->push_back(std::move(item));
        skip();
        if (peek() != ',') break;
        ++pos_;
      }
    }
    if (peek() != close) return fail(notClosed);
    ++pos_;
    return true;
  }

  bool parseList(Item* out, int depth) {
    std::vector<Item> items;
    if (!parseItems(']', aeBuildSyntaxNoCloseBracket, &items,
                    [&](Item* item) { return parseValue(item, depth + 1); }))
      return false;
    out->type = typeAEList;
    out->data = buildItems(items, false);
    return true;
  }

  bool parseRecord(Item* out, DescType type, int depth) {
    std::vector<Item> items;
    if (!parseItems('}', aeBuildSyntaxNoCloseBrace, &items, [&](Item* item) {
          if (!parseKeyed(item)) return false;
          return depth > kMaxNesting ? fail(aeBuildSyntaxBadDesc) : true;
        }))
      return false;
    out->type = type;
    out->data = buildItems(items, true);
    return true;
  }

  std::string s_;
  std::size_t pos_ = 0;
  va_list* args_;
};

OSErr report(const Parser& p, AEBuildError* error) {
  if (error) {
    error->fError = p.error;
    error->fErrorPos = p.errorPos;
  }
  return p.error ? OSErr(errAEBuildSyntaxError) : OSErr(noErr);
}

}  // namespace

OSErr vAEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType, const void* addressData,
                         Size addressLength, SInt16 returnID, SInt32 transactionID, AppleEvent* result,
                         AEBuildError* error, const char* paramsFmt, va_list args) {
  if (!result || addressLength < 0 || (!addressData && addressLength)) return paramErr;
  AEInitializeDesc(result);
  va_list copy;
  va_copy(copy, args);
  Parser parser(paramsFmt, &copy);
  std::vector<Item> params;
  const bool ok = parser.parseParams(&params);
  va_end(copy);
  if (!ok) return report(parser, error);
  AEAddressDesc address;
  if (OSErr err = AECreateDesc(addressType, addressData, addressLength, &address)) return err;
  OSErr err = AECreateAppleEvent(theClass, theID, &address, returnID, transactionID, result);
  AEDisposeDesc(&address);
  for (const Item& item : params) {
    if (err) break;
    err = AEPutParamPtr(result, item.key, item.type, item.data.data(), Size(item.data.size()));
  }
  if (err) AEDisposeDesc(result);
  report(parser, error);
  return err;
}

OSErr AEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType, const void* addressData,
                        Size addressLength, SInt16 returnID, SInt32 transactionID, AppleEvent* result,
                        AEBuildError* error, const char* paramsFmt, ...) {
  va_list args;
  va_start(args, paramsFmt);
  const OSErr err = vAEBuildAppleEvent(theClass, theID, addressType, addressData, addressLength, returnID,
                                       transactionID, result, error, paramsFmt, args);
  va_end(args);
  return err;
}

OSErr AEBuildDesc(AEDesc* dst, AEBuildError* error, const char* src, ...) {
  if (!dst) return paramErr;
  AEInitializeDesc(dst);
  va_list args;
  va_start(args, src);
  Parser parser(src, &args);
  Item item;
  const bool ok = parser.parseSingle(&item);
  va_end(args);
  if (!ok) return report(parser, error);
  report(parser, error);
  return make(item.type, item.data, dst);
}

OSErr AEBuildParameters(AppleEvent* event, AEBuildError* error, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Parser parser(format, &args);
  std::vector<Item> params;
  const bool ok = parser.parseParams(&params);
  va_end(args);
  if (!ok) return report(parser, error);
  for (const Item& item : params)
    if (OSErr err = AEPutParamPtr(event, item.key, item.type, item.data.data(), Size(item.data.size()))) return err;
  return report(parser, error);
}
