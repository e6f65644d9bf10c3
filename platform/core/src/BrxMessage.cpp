#include "BrxMessage.h"

#include "BrxCatalog.h"
#include "I18NText.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace {

using brxcatalog::Catalog;
using brxcatalog::Chain;

// One left-to-right scan; inserted parameters are never scanned again. A placeholder without
// a parameter stays as it is, so that a text fetched bare can be substituted later.
void substitute(const std::u32string& text,
                const std::vector<I18NString>& parameters,
                std::u32string& out) {
    out.clear();
    out.reserve(text.size());
    const char32_t* const end = text.data() + text.size();
    const char32_t* copied = text.data();
    int index = 0;
    for (const char32_t* at = i18n::nextPlaceholder(copied, end, index); at != end;
         at = i18n::nextPlaceholder(at, end, index)) {
        if (static_cast<std::size_t>(index) >= parameters.size()) {
            ++at;
            continue;
        }
        out.append(copied, at);
        out += parameters[static_cast<std::size_t>(index)].codePoints();
        copied = at += 3;
    }
    out.append(copied, end);
}

// The text of a message that cannot be found: names the number and the catalog and shows
// the parameters, so that the failure is still understandable from a log.
void missingText(const I18NString& catalogName,
                 std::uint32_t number,
                 bool catalogFound,
                 const std::vector<I18NString>& parameters,
                 I18NString& result) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(number));
    I18NString text("Message ");
    text += hex;
    if (catalogFound) {
        text += " not found in catalog \"";
        text += catalogName;
        text += "\"";
    } else {
        text += ": catalog \"";
        text += catalogName;
        text += "\" not found";
    }
    const char* separator = "; parameters: \"";
    for (const I18NString& parameter : parameters) {
        text += separator;
        text += parameter;
        text += "\"";
        separator = ", \"";
    }
    result = std::move(text);
}

void formatFrom(const Chain& chain,
                const I18NString& catalogName,
                std::uint32_t number,
                const std::vector<I18NString>& parameters,
                I18NString& result) {
    const std::u32string* text = brxcatalog::findMessage(chain, number);
    if (text == nullptr) {
        bool catalogFound = false;
        for (const auto& catalog : chain) {
            catalogFound = catalogFound || catalog != nullptr;
        }
        missingText(catalogName, number, catalogFound, parameters, result);
        return;
    }
    if (parameters.empty()) {
        result.codePoints() = *text; // reuses the result's buffer
        return;
    }
    std::u32string filled;
    substitute(*text, parameters, filled);
    result.codePoints() = std::move(filled);
}

// Catalogs read for BrxMessage, which has no object of its own to keep them: process-wide,
// read once per (folded name, locale level), kept until the process ends.
class SharedCatalogs {
public:
    Chain chainFor(const std::string& foldedName, const char* locale) {
        Chain chain;
        if (foldedName.empty()) {
            return chain;
        }
        for (const std::string& level :
             brxcatalog::localeChain(brxcatalog::normalizeLocale(locale))) {
            std::lock_guard<std::mutex> guard(f_lock);
            auto key = std::make_pair(foldedName, level);
            auto found = f_loaded.find(key);
            if (found == f_loaded.end()) {
                found = f_loaded.emplace(key, brxcatalog::loadCatalog(foldedName, level)).first;
            }
            chain.push_back(found->second);
        }
        return chain;
    }

private:
    std::mutex f_lock; // guards f_loaded
    std::map<std::pair<std::string, std::string>, std::shared_ptr<const Catalog>> f_loaded;
};

SharedCatalogs& sharedCatalogs() {
    static SharedCatalogs* instance = new SharedCatalogs(); // used by exceptions until exit
    return *instance;
}

} // namespace

// ---- BrxMessageBase ------------------------------------------------------------------------

BrxMessageBase::~BrxMessageBase() = default;

void BrxMessageBase::toString(const char* component,
                              const char* locale,
                              I18NString& result,
                              int indent) const {
    I18NString text;
    format(component, locale, text);
    result = I18NString(U' ', indent > 0 ? indent : 0);
    result += text;
}

// ---- BrxMessageComponents ------------------------------------------------------------------

BrxMessageComponents& BrxMessageComponents::operator<<(const BrxMessageParm& parameter) {
    f_parameters.push_back(parameter.getValue());
    return *this;
}

// ---- BrxMessage ----------------------------------------------------------------------------

BrxMessage::BrxMessage(const I18NString& msgFile, std::uint32_t messageNumber)
    : BrxMessageComponents(messageNumber) {
    setMsgFile(msgFile);
}

BrxMessageBase* BrxMessage::clone() const {
    return new BrxMessage(*this);
}

const char* BrxMessage::getClassName() const {
    return "BrxMessage";
}

void BrxMessage::format(const char* /*component*/, const char* locale, I18NString& result) const {
    const std::string folded = brxcatalog::foldCatalogName(getMsgFile().c_str());
    const Chain chain = sharedCatalogs().chainFor(folded, locale);
    formatFrom(chain, getMsgFile(), getMessageNumber(), getParameters(), result);
}

// ---- BrxMessageString ----------------------------------------------------------------------

BrxMessageBase* BrxMessageString::clone() const {
    return new BrxMessageString(*this);
}

const char* BrxMessageString::getClassName() const {
    return "BrxMessageString";
}

void BrxMessageString::format(const char* /*component*/,
                              const char* /*locale*/,
                              I18NString& result) const {
    result = f_text;
}

// ---- BrxMessageFile ------------------------------------------------------------------------

struct BrxMessageFile::Cache {
    std::string foldedName;
    // Locale level -> its catalog (null: none); shared between the chains of one object.
    std::map<std::string, std::shared_ptr<const Catalog>> levels;
    // Locale as callers pass it -> the catalogs searched for it.
    std::map<std::string, Chain> chains;
    // The last locale asked for: callers nearly always ask for the same one again.
    std::string lastLocale;
    const Chain* lastChain = nullptr;

    const Chain& chainFor(const char* locale) {
        if (lastChain != nullptr && lastLocale == locale) {
            return *lastChain;
        }
        auto found = chains.find(locale);
        if (found == chains.end()) {
            Chain chain;
            if (!foldedName.empty()) {
                for (const std::string& level :
                     brxcatalog::localeChain(brxcatalog::normalizeLocale(locale))) {
                    auto known = levels.find(level);
                    if (known == levels.end()) {
                        known =
                            levels.emplace(level, brxcatalog::loadCatalog(foldedName, level)).first;
                    }
                    chain.push_back(known->second);
                }
            }
            found = chains.emplace(locale, std::move(chain)).first;
        }
        lastLocale = locale;
        lastChain = &found->second;
        return *lastChain;
    }
};

BrxMessageFile::BrxMessageFile(const I18NString& name)
    : BrxMessage(name, 0)
    , f_cache(new Cache()) {
    f_cache->foldedName = brxcatalog::foldCatalogName(name.c_str());
}

BrxMessageFile::BrxMessageFile(const BrxMessageFile& other)
    : BrxMessage(other)
    , f_cache(new Cache()) {
    // The catalogs are immutable and shared; only the position of the last chain is this
    // object's own.
    f_cache->foldedName = other.f_cache->foldedName;
    f_cache->levels = other.f_cache->levels;
    f_cache->chains = other.f_cache->chains;
}

BrxMessageFile::~BrxMessageFile() = default;

BrxMessageBase* BrxMessageFile::clone() const {
    return new BrxMessageFile(*this);
}

const char* BrxMessageFile::getClassName() const {
    return "BrxMessageFile";
}

void BrxMessageFile::format(const char* /*component*/,
                            const char* locale,
                            I18NString& result) const {
    const Chain& chain = f_cache->chainFor(locale != nullptr && *locale != '\0' ? locale : "en-us");
    formatFrom(chain, getMsgFile(), getMessageNumber(), getParameters(), result);
}

long BrxMessageFile::catalogReadCount() {
    return brxcatalog::readCount();
}

// ---- BrxMessageSet -------------------------------------------------------------------------

BrxMessageSet::BrxMessageSet(const BrxMessageSet& other) {
    f_messages.reserve(other.f_messages.size());
    for (const auto& message : other.f_messages) {
        f_messages.emplace_back(message->clone());
    }
}

BrxMessageSet& BrxMessageSet::operator=(const BrxMessageSet& other) {
    if (this != &other) {
        BrxMessageSet copy(other);
        f_messages.swap(copy.f_messages);
    }
    return *this;
}

BrxMessageSet::~BrxMessageSet() = default;

void BrxMessageSet::addMessage(const BrxMessageBase& message) {
    f_messages.emplace_back(message.clone());
}

void BrxMessageSet::format(const char* component, const char* locale, I18NString& result) const {
    I18NString joined;
    I18NString text;
    for (std::size_t i = 0; i < f_messages.size(); ++i) {
        if (i > 0) {
            joined += U'\n';
        }
        f_messages[i]->format(component, locale, text);
        joined += text;
    }
    result = std::move(joined);
}
