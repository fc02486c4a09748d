#include "settings/settings_file.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "settings/settings_directory.h"

namespace tarnlight {
namespace {

namespace fs = std::filesystem;

// Longest text Load takes from one value.
constexpr std::size_t kMaxTextRead = 2047;

const char* const kAreaKeyNames[kSettingsAreaCount] = {"%I", "%M", "%Q", "%AI", "%R", "%AQ"};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]);
        const unsigned char y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

// The INI text as a list of lines, edited in place so that whatever Save does
// not know (comments, other keys, layout) survives untouched.
class IniText {
  public:
    void Parse(const std::string& content) {
        lines_.clear();
        eol_ = "\n";
        // A byte-order mark (some Windows editors write one) would hide the
        // first section header.
        std::size_t start = content.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
        bool first = true;
        while (start < content.size()) {
            std::size_t end = content.find('\n', start);
            const bool hasNewline = end != std::string::npos;
            if (!hasNewline) end = content.size();
            std::string line = content.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
                if (first && hasNewline) eol_ = "\r\n";
            }
            first = false;
            lines_.push_back(std::move(line));
            start = end + 1;
        }
    }

    std::string Serialize() const {
        std::string out;
        for (const std::string& line : lines_) {
            out += line;
            out += eol_;
        }
        return out;
    }

    // The raw (trimmed) value of the first `key` in the first `section`.
    bool Get(std::string_view section, std::string_view key, std::string* value) const {
        const int header = FindSection(section);
        if (header < 0) return false;
        const int line = FindKey(header, key);
        if (line < 0) return false;
        const std::string& text = lines_[line];
        *value = std::string(Trim(std::string_view(text).substr(text.find('=') + 1)));
        return true;
    }

    void Set(std::string_view section, std::string_view key, const std::string& value) {
        std::string entry = std::string(key) + "=" + value;
        const int header = FindSection(section);
        if (header < 0) {
            if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
            lines_.push_back("[" + std::string(section) + "]");
            lines_.push_back(std::move(entry));
            return;
        }
        const int line = FindKey(header, key);
        if (line >= 0) {
            lines_[line] = std::move(entry);
            return;
        }
        // After the last entry of the section, so that blank lines and the
        // comments that introduce the next section stay in front of it.
        int insertAt = header + 1;
        const int end = SectionEnd(header);
        for (int i = header + 1; i < end; ++i) {
            const std::string_view line = Trim(lines_[i]);
            if (!line.empty() && line.front() != ';' && line.front() != '#') insertAt = i + 1;
        }
        lines_.insert(lines_.begin() + insertAt, std::move(entry));
    }

    bool Has(std::string_view section, std::string_view key) const {
        const int header = FindSection(section);
        return header >= 0 && FindKey(header, key) >= 0;
    }
    bool HasSection(std::string_view section) const { return FindSection(section) >= 0; }

    struct Entry {
        int lineNumber;  // 1-based, as an editor shows it
        std::string key;
        std::string value;
    };
    // Every "key=value" line of the first `section`, in file order.
    std::vector<Entry> Entries(std::string_view section) const {
        std::vector<Entry> entries;
        const int header = FindSection(section);
        if (header < 0) return entries;
        std::string_view name;
        const int end = SectionEnd(header);
        for (int i = header + 1; i < end; ++i) {
            if (!KeyName(lines_[i], &name)) continue;
            const std::string& text = lines_[i];
            entries.push_back(
                {i + 1, std::string(name),
                 std::string(Trim(std::string_view(text).substr(text.find('=') + 1)))});
        }
        return entries;
    }

  private:
    static bool SectionName(std::string_view line, std::string_view* name) {
        line = Trim(line);
        if (line.empty() || line.front() != '[') return false;
        const std::size_t close = line.find(']');
        if (close == std::string_view::npos) return false;
        *name = Trim(line.substr(1, close - 1));
        return true;
    }

    static bool KeyName(std::string_view line, std::string_view* name) {
        line = Trim(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') return false;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return false;
        *name = Trim(line.substr(0, eq));
        return true;
    }

    int FindSection(std::string_view section) const {
        std::string_view name;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (SectionName(lines_[i], &name) && EqualNoCase(name, section)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    int SectionEnd(int header) const {
        std::string_view name;
        for (std::size_t i = header + 1; i < lines_.size(); ++i) {
            if (SectionName(lines_[i], &name)) return static_cast<int>(i);
        }
        return static_cast<int>(lines_.size());
    }

    int FindKey(int header, std::string_view key) const {
        std::string_view name;
        const int end = SectionEnd(header);
        for (int i = header + 1; i < end; ++i) {
            if (KeyName(lines_[i], &name) && EqualNoCase(name, key)) return i;
        }
        return -1;
    }

    std::vector<std::string> lines_;
    std::string eol_ = "\n";
};

// A text as it goes into a value: line breaks become blanks; quoted when
// reading would otherwise trim or unquote it.
std::string EncodeText(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    if (out.empty()) return out;
    const bool edgeBlank = IsBlank(out.front()) || IsBlank(out.back());
    const bool quoted = out.size() >= 2 && out.front() == '"' && out.back() == '"';
    if (edgeBlank || quoted) out = "\"" + out + "\"";
    return out;
}

std::string DecodeText(std::string value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kMaxTextRead) {
        std::size_t cut = kMaxTextRead;
        // Do not split a UTF-8 sequence: back off to its first byte.
        while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
        value.resize(cut);
    }
    return value;
}

class Reader {
  public:
    explicit Reader(const IniText& ini) : ini_(ini) {}

    void Int(const char* section, const std::string& key, int* field) const {
        std::string text;
        int value = 0;
        if (ini_.Get(section, key, &text) && ParseSettingsInteger(text, &value)) *field = value;
    }
    void Bool(const char* section, const std::string& key, bool* field) const {
        std::string text;
        int value = 0;
        if (ini_.Get(section, key, &text) && ParseSettingsInteger(text, &value)) {
            *field = value != 0;
        }
    }
    void Text(const char* section, const std::string& key, std::string* field) const {
        std::string text;
        if (ini_.Get(section, key, &text)) *field = DecodeText(std::move(text));
    }

  private:
    const IniText& ini_;
};

class Writer {
  public:
    explicit Writer(IniText& ini) : ini_(ini) {}

    void Int(const char* section, const std::string& key, int value) {
        ini_.Set(section, key, std::to_string(value));
    }
    void Bool(const char* section, const std::string& key, bool value) {
        ini_.Set(section, key, value ? "1" : "0");
    }
    void Text(const char* section, const std::string& key, const std::string& value) {
        ini_.Set(section, key, EncodeText(value));
    }

  private:
    IniText& ini_;
};

// Visits every key in the order Save writes them; `io` is a Reader with
// pointers to fields or a Writer with values.
template <typename Io, typename S>
void VisitKeys(Io& io, S& s) {
    auto field = [](auto& f) {
        if constexpr (std::is_same_v<Io, Reader>) {
            return &f;
        } else {
            return f;
        }
    };
    io.Int("RS232", "port", field(s.port));
    io.Int("RS232", "baudRate", field(s.baudRate));
    io.Int("RS232", "parity", field(s.parity));
    io.Int("RS232", "stopBits", field(s.stopBits));

    io.Text("PLC_Info", "CPU_ID", field(s.cpuId));
    io.Text("PLC_Info", "Password", field(s.cpuPassword));

    for (int a = 0; a < kSettingsAreaCount; ++a) {
        io.Bool("PLC_Memory", std::string(kAreaKeyNames[a]) + "_enabled", field(s.areaEnabled[a]));
    }
    for (int a = 0; a < kSettingsAreaCount; ++a) {
        io.Int("PLC_Memory", std::string(kAreaKeyNames[a]) + "_from", field(s.areaFrom[a]));
        io.Int("PLC_Memory", std::string(kAreaKeyNames[a]) + "_to", field(s.areaTo[a]));
    }

    io.Int("Connection", "T1", field(s.T1));
    io.Int("Connection", "T2", field(s.T2));
    io.Int("Connection", "T3'", field(s.T3b));
    io.Int("Connection", "T4", field(s.T4));
    io.Int("Connection", "Td", field(s.Td));
    io.Int("Connection", "k", field(s.k));
    io.Int("Connection", "lostconn", field(s.lostconn));

    io.Bool("MySQL", "dbEnabled", field(s.dbEnabled));
    io.Text("MySQL", "addressIP", field(s.addressIP));
    io.Text("MySQL", "portNum", field(s.portNum));
    io.Text("MySQL", "username", field(s.username));
    io.Text("MySQL", "Password", field(s.dbPassword));
    io.Text("MySQL", "dbName", field(s.dbName));
    io.Bool("MySQL", "dropAfter", field(s.dropAfter));
    io.Bool("MySQL", "dropBefore", field(s.dropBefore));
}

// The keys without a control on the pages. Load reads them; Save writes one
// only when the target file lacks it, so a file saved under a new name keeps
// what was in force (TLS above all) and a hand edit made after Load wins.
// Values no default may stand in for make the file unloadable.
bool Problem(std::string* problem, std::string text) {
    if (problem != nullptr) *problem = std::move(text);
    return false;
}

// A whole number in min..max; an empty or missing value keeps *field.
bool ReadBoundedInt(const IniText& ini, const char* section, const std::string& key, int min,
                    int max, int* field, std::string* problem) {
    std::string text;
    if (!ini.Get(section, key, &text) || text.empty()) return true;
    int value = 0;
    if (!ParseSettingsInteger(text, &value) || value < min || value > max) {
        return Problem(problem, "[" + std::string(section) + "] " + key + "=" + text +
                                    ": not a whole number from " + std::to_string(min) + " to " +
                                    std::to_string(max));
    }
    *field = value;
    return true;
}

bool ReadDbTls(const IniText& ini, const Reader& reader, DbTls& tls, std::string* problem) {
    std::string mode;
    if (ini.Get("MySQL", "sslMode", &mode) && !mode.empty()) {
        const std::optional<SslMode> parsed = ParseSslMode(DecodeText(mode));
        if (!parsed) {
            return Problem(problem, "[MySQL] sslMode=" + mode +
                                        ": not one of DISABLED, PREFERRED, REQUIRED, VERIFY_CA, "
                                        "VERIFY_IDENTITY");
        }
        tls.sslMode = *parsed;
    }
    reader.Text("MySQL", "sslCa", &tls.sslCa);
    reader.Text("MySQL", "sslCert", &tls.sslCert);
    reader.Text("MySQL", "sslKey", &tls.sslKey);
    return true;
}

bool ReadTags(const IniText& ini, std::vector<TagDefinition>& tags, std::string* problem) {
    for (const IniText::Entry& entry : ini.Entries("Tags")) {
        const std::string line = "line " + std::to_string(entry.lineNumber) + ", [Tags] " +
                                 entry.key + "=" + entry.value + ": ";
        TagDefinition tag;
        std::string wrong;
        if (!ParseTagDefinition(entry.key, entry.value, &tag, &wrong)) {
            return Problem(problem, line + wrong);
        }
        if (FindTag(tags, tag.name) >= 0) {
            return Problem(problem, line + "the name " + tag.name + " is used twice");
        }
        tags.push_back(std::move(tag));
    }
    return true;
}

bool ReadFileOnlyKeys(const IniText& ini, const Reader& reader, Settings& s, std::string* problem) {
    reader.Text("RS232", "stations", &s.stations);
    reader.Bool("MySQL", "mirrorEachValue", &s.mirrorEachValue);
    if (!ReadDbTls(ini, reader, s.dbTls, problem)) return false;
    reader.Text("MySQL", "historyDb", &s.historyDb);
    if (!ReadBoundedInt(ini, "MySQL", "historyDays", 1, kHistoryDaysMax, &s.historyDays, problem))
        return false;
    reader.Text("MySQL", "historyJournal", &s.historyJournal);
    if (!ReadBoundedInt(ini, "MySQL", "historyJournalMB", 1, kHistoryJournalMBMax,
                        &s.historyJournalMB, problem))
        return false;
    for (int a = 0; a < kSettingsAreaCount; ++a) {
        if (!ReadBoundedInt(ini, "PLC_Memory", std::string(kAreaKeyNames[a]) + "_scan", 0,
                            kScanMsMax, &s.scanMs[a], problem))
            return false;
    }
    if (!ReadBoundedInt(ini, "PLC_Memory", "maxReadBytes", kMaxReadBytesMin, kMaxReadBytesMax,
                        &s.maxReadBytes, problem))
        return false;
    return ReadTags(ini, s.tags, problem);
}

void WriteFileOnlyKeys(IniText& ini, const Settings& s) {
    const auto missing = [&ini](const char* section, const std::string& key,
                                const std::string& value) {
        if (!ini.Has(section, key)) ini.Set(section, key, value);
    };
    // Only the first file of a line has one; a controller alone on its port
    // gets no empty key.
    if (!s.stations.empty()) missing("RS232", "stations", EncodeText(s.stations));
    for (int a = 0; a < kSettingsAreaCount; ++a) {
        missing("PLC_Memory", std::string(kAreaKeyNames[a]) + "_scan", std::to_string(s.scanMs[a]));
    }
    missing("PLC_Memory", "maxReadBytes", std::to_string(s.maxReadBytes));
    missing("MySQL", "mirrorEachValue", s.mirrorEachValue ? "1" : "0");
    missing("MySQL", "sslMode", SslModeName(s.dbTls.sslMode));
    missing("MySQL", "sslCa", EncodeText(s.dbTls.sslCa));
    missing("MySQL", "sslCert", EncodeText(s.dbTls.sslCert));
    missing("MySQL", "sslKey", EncodeText(s.dbTls.sslKey));
    missing("MySQL", "historyDb", EncodeText(s.historyDb));
    missing("MySQL", "historyDays", std::to_string(s.historyDays));
    missing("MySQL", "historyJournal", EncodeText(s.historyJournal));
    missing("MySQL", "historyJournalMB", std::to_string(s.historyJournalMB));
    // The section as a whole: an existing one, even empty, stays as it is.
    if (!s.tags.empty() && !ini.HasSection("Tags")) {
        for (const TagDefinition& tag : s.tags) ini.Set("Tags", tag.name, TagDefinitionText(tag));
    }
}

bool ReadWholeFile(const std::string& path, std::string* content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    *content = buffer.str();
    return true;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool SameDirectory(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    auto norm = [](const fs::path& p) {
        std::string s = p.lexically_normal().string();
        while (s.size() > 1 && s.back() == '/') s.pop_back();
        return s;
    };
    return norm(a) == norm(b);
}

// Replaces the file at `target` with `content` through a temporary file in
// the same directory, so the target is either the old or the new text.
bool ReplaceFile(const fs::path& target, const std::string& content, mode_t mode,
                 const struct stat* old) {
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    std::string temp = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());  // created 0600
    if (fd < 0) return false;
    bool ok = WriteAll(fd, content) && ::fchmod(fd, mode) == 0;
    if (ok && old != nullptr && (old->st_uid != ::geteuid() || old->st_gid != ::getegid())) {
        // Keep the owner when saving someone else's file (as root); best effort.
        (void)!::fchown(fd, old->st_uid, old->st_gid);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool Save(const Settings& settings, const std::string& path) {
    if (path.empty()) return false;
    fs::path target = path;
    std::error_code ec;
    // Saving through a link updates the file it points to, not the link.
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (ec) return false;
        target = resolved;
    }
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    if (SameDirectory(dir, SettingsDirectory())) EnsureSettingsDirectory();

    IniText ini;
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    mode_t mode = S_IRUSR | S_IWUSR;
    if (exists) {
        // Never replace a directory or device; never lose a file we cannot read.
        if (!S_ISREG(old.st_mode)) return false;
        std::string content;
        if (!ReadWholeFile(target.string(), &content)) return false;
        ini.Parse(content);
        const mode_t oldMode = old.st_mode & 07777;
        if ((oldMode & ~static_cast<mode_t>(S_IRUSR | S_IWUSR)) == 0) mode = oldMode;
    } else if (errno != ENOENT) {
        return false;
    }

    Writer writer(ini);
    VisitKeys(writer, settings);
    WriteFileOnlyKeys(ini, settings);
    return ReplaceFile(target, ini.Serialize(), mode, exists ? &old : nullptr);
}

}  // namespace

bool ParseSettingsInteger(const std::string& text, int* value) {
    const std::string_view s = Trim(text);
    long long result = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        for (std::size_t i = 2; i < s.size(); ++i) {
            const char c = s[i];
            int digit;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else {
                return false;
            }
            result = result * 16 + digit;
            if (result > INT_MAX) return false;
        }
        *value = static_cast<int>(result);
        return true;
    }
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i == s.size()) return false;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        result = result * 10 + (s[i] - '0');
        if (result > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) result = -result;
    if (result > INT_MAX || result < INT_MIN) return false;
    *value = static_cast<int>(result);
    return true;
}

SaveResult SaveSettings(const Settings& settings, const std::string& path, std::string* error) {
    if (Save(settings, path)) return SaveResult::Ok;
    if (error != nullptr) *error = "Unable to write to " + path;
    return SaveResult::WriteFailed;
}

LoadResult LoadSettings(const std::string& path, Settings& settings, std::string* problem) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return LoadResult::NotFound;
    std::string content;
    if (!ReadWholeFile(path, &content)) return LoadResult::NotFound;
    IniText ini;
    ini.Parse(content);
    Settings loaded = DefaultSettings();
    Reader reader(ini);
    VisitKeys(reader, loaded);
    if (!ReadFileOnlyKeys(ini, reader, loaded, problem)) return LoadResult::Invalid;
    ClampToControls(loaded);
    settings = std::move(loaded);
    return LoadResult::Ok;
}

}  // namespace tarnlight
