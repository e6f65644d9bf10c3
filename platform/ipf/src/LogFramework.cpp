#include "mrvipf2.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <log4cxx/consoleappender.h>
#include <log4cxx/level.h>
#include <log4cxx/logger.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/mdc.h>
#include <log4cxx/patternlayout.h>
#include <log4cxx/propertyconfigurator.h>
#include <log4cxx/xml/domconfigurator.h>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>

// The framework level of the library's most important records (trace level 0, audit level
// 12). log4cxx names that number OFF, which would tell a reader such a record had been
// switched off; this level keeps the number, so thresholds compare as before, under a name
// of its own. Syslog sees it as a notice. Global: log4cxx registers level classes by name.
// log4cxx's level macros name these unqualified.
namespace helpers = log4cxx::helpers;
class AlwaysLevel : public log4cxx::Level {
    using LevelPtr = log4cxx::LevelPtr;
    using LogString = log4cxx::LogString;
    DECLARE_LOG4CXX_LEVEL(AlwaysLevel)
public:
    AlwaysLevel()
        : Level(INT_MAX, LOG4CXX_STR("ALWAYS"), 5) {}
    static LevelPtr getAlways() {
        static const LevelPtr level = std::make_shared<AlwaysLevel>();
        return level;
    }
    // What configurations naming "ALWAYS#AlwaysLevel" reach; other names are log4cxx's.
    static LevelPtr toLevelLS(const LogString& name) {
        return name == LOG4CXX_STR("ALWAYS") ? getAlways() : Level::toLevelLS(name);
    }
    static LevelPtr toLevel(int value) {
        return value == INT_MAX ? getAlways() : Level::toLevel(value);
    }
};
IMPLEMENT_LOG4CXX_LEVEL(AlwaysLevel)

namespace {

constexpr const char* kDefaultPattern =
    "%d{yyyy-MM-dd HH:mm:ss.SSS} %-5p %c [thread %X{thread}] %m%n";

std::mutex g_frameworkLock; // guards g_loggers, g_levels, g_configured, g_file
std::map<I18NString, std::unique_ptr<LogTypedLogger>>* g_loggers = nullptr;
std::map<long, log4cxx::LevelPtr>* g_levels = nullptr;
bool g_configured = false;
std::string g_file;

bool readable(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool endsWith(const std::string& text, const char* suffix) {
    const std::string tail(suffix);
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void configureDefault() {
    auto root = log4cxx::Logger::getRootLogger();
    auto layout = std::make_shared<log4cxx::PatternLayout>(kDefaultPattern);
    auto appender = std::make_shared<log4cxx::ConsoleAppender>(
        layout, log4cxx::ConsoleAppender::getSystemErr());
    appender->setEncoding("UTF-8");
    root->addAppender(appender);
    root->setLevel(log4cxx::Level::getWarn());
}

// Caller holds g_frameworkLock.
void configureLocked() {
    log4cxx::LogManager::resetConfiguration();
    g_file.clear();
    const char* named = std::getenv("ORQ_LOG_CONFIG");
    if (named != nullptr && *named != '\0') {
        const std::string path(named);
        if (readable(path)) {
            if (endsWith(path, ".xml")) {
                log4cxx::xml::DOMConfigurator::configure(path);
            } else {
                log4cxx::PropertyConfigurator::configure(path);
            }
            g_file = path;
        } else {
            std::fprintf(stderr,
                         "logging: cannot read ORQ_LOG_CONFIG file '%s'; using the default "
                         "(warnings and above on standard error)\n",
                         path.c_str());
        }
    }
    if (g_file.empty()) {
        configureDefault();
    }
    g_configured = true;
}

void ensureConfiguredLocked() {
    if (!g_configured) {
        configureLocked();
    }
}

// The framework level as a log4cxx level of the same number; standard levels keep their
// names, the highest is ALWAYS, others are made once and kept.
log4cxx::LevelPtr levelFor(long level) {
    if (level >= INT_MAX) {
        return AlwaysLevel::getAlways();
    }
    if (level <= INT_MIN) {
        return log4cxx::Level::getAll();
    }
    switch (level) {
    case 5000:
        return log4cxx::Level::getTrace();
    case 10000:
        return log4cxx::Level::getDebug();
    case 20000:
        return log4cxx::Level::getInfo();
    case 30000:
        return log4cxx::Level::getWarn();
    case 40000:
        return log4cxx::Level::getError();
    case 50000:
        return log4cxx::Level::getFatal();
    default:
        break;
    }
    std::lock_guard<std::mutex> guard(g_frameworkLock);
    if (g_levels == nullptr) {
        g_levels = new std::map<long, log4cxx::LevelPtr>();
    }
    auto found = g_levels->find(level);
    if (found == g_levels->end()) {
        auto made = std::make_shared<log4cxx::Level>(static_cast<int>(level),
                                                     "LEVEL" + std::to_string(level), 7);
        found = g_levels->emplace(level, made).first;
    }
    return found->second;
}

std::string narrow(const I18NString& text) {
    return std::string(text.c_str());
}

// One context entry, in UTF-8, for the life of the object.
class ContextEntry {
public:
    ContextEntry(const char* key, const std::string& value)
        : f_key(key) {
        log4cxx::MDC::putLS(f_key, value);
    }
    ~ContextEntry() {
        log4cxx::LogString previous;
        log4cxx::MDC::remove(f_key, previous);
    }
    ContextEntry(const ContextEntry&) = delete;
    ContextEntry& operator=(const ContextEntry&) = delete;

private:
    log4cxx::LogString f_key;
};

} // namespace

LOGObject::~LOGObject() = default;

LOGLogger::~LOGLogger() = default;

LogIndication::LogIndication(const I18NString& name, long number)
    : f_name(name)
    , f_number(number) {}

LogIndication::~LogIndication() = default;

const I18NString& LogIndication::getObject() const {
    static const I18NString none;
    return none;
}

LogTraceIndication::LogTraceIndication(const I18NString& name, long number)
    : LogIndication(name, number) {}

LogAuditIndication::LogAuditIndication(const I18NString& name, long number)
    : LogIndication(name, number) {}

struct LogTypedLogger::Impl {
    log4cxx::LoggerPtr logger;
};

LogTypedLogger::LogTypedLogger(const I18NString& name, const I18NString& typeName)
    : f_name(name)
    , f_typeName(typeName)
    , f_impl(new Impl{log4cxx::Logger::getLogger(narrow(name))}) {}

LogTypedLogger::~LogTypedLogger() {
    delete f_impl;
}

LOGLogger* LogTypedLogger::getInstance(const I18NString& name, const I18NString& typeName) {
    std::lock_guard<std::mutex> guard(g_frameworkLock);
    ensureConfiguredLocked();
    // Never freed: callers keep the pointers until the process ends.
    if (g_loggers == nullptr) {
        g_loggers = new std::map<I18NString, std::unique_ptr<LogTypedLogger>>();
    }
    auto found = g_loggers->find(name);
    if (found == g_loggers->end()) {
        found =
            g_loggers
                ->emplace(name, std::unique_ptr<LogTypedLogger>(new LogTypedLogger(name, typeName)))
                .first;
    }
    return found->second.get();
}

long LogTypedLogger::isEnabled(long level) const {
    return f_impl->logger->isEnabledFor(levelFor(level)) ? 1 : 0;
}

void LogTypedLogger::log(LOGObject* record) {
    const auto* indication = dynamic_cast<const LogIndication*>(record);
    if (indication == nullptr) {
        return;
    }
    // log4cxx keeps its text in UTF-8, as I18NString gives it: hand it over as such (the
    // std::string overloads would decode it with the process locale). The context entries
    // are the record's own for the length of the call.
    ContextEntry thread("thread", std::to_string(indication->getThreadID()));
    ContextEntry session("session", narrow(indication->getSessionID()));
    ContextEntry request("request", narrow(indication->getRequestID()));
    ContextEntry subRequest("subrequest", narrow(indication->getSubRequestID()));
    ContextEntry step("step", narrow(indication->getStepID()));
    ContextEntry object("object", narrow(indication->getObject()));
    f_impl->logger->forcedLogLS(levelFor(indication->getLevel()), narrow(indication->getText()),
                                log4cxx::spi::LocationInfo::getLocationUnavailable());
}

namespace LogFramework {

void configure() {
    std::lock_guard<std::mutex> guard(g_frameworkLock);
    configureLocked();
}

I18NString configurationFile() {
    std::lock_guard<std::mutex> guard(g_frameworkLock);
    ensureConfiguredLocked();
    return I18NString(g_file.c_str());
}

} // namespace LogFramework
