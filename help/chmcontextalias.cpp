// SPDX-License-Identifier: GPL-3.0-or-later
//
// chmcmd (Free Pascal 3.2) writes the topic of each [MAP] context number as the absolute path of
// the source file on the build machine ("/<build>/help/src/ports.html") instead of the path inside
// the archive ("ports.html"). xchm looks the context's topic up inside the archive, so
// "xchm --contextid=10025" finds nothing once the build tree is gone. This tool adds one directory
// entry per such path that points at the same content as the real topic; the compressed content
// is left untouched. It also checks that every context number lands on an existing topic.
//
//   chmcontextalias fix   <in.chm> <contexts.ali> <source folder> <out.chm>
//   chmcontextalias check <chm> <contexts.ali> [<number>=<topic> ...]
//
// <contexts.ali> is what "chmls extractalias" writes: one "<symbol><number>=<topic>" per line.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct Entry
{
    std::string name;
    std::uint64_t section = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

[[noreturn]] void fail(const std::string &what)
{
    throw std::runtime_error(what);
}

std::uint32_t le32(const Bytes &b, std::size_t at)
{
    if (at + 4 > b.size())
        fail("truncated file");
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16
        | std::uint32_t(b[at + 3]) << 24;
}

std::uint64_t le64(const Bytes &b, std::size_t at)
{
    return std::uint64_t(le32(b, at)) | std::uint64_t(le32(b, at + 4)) << 32;
}

std::uint16_t le16(const Bytes &b, std::size_t at)
{
    if (at + 2 > b.size())
        fail("truncated file");
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

void put32(Bytes &b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// ENCINT: 7 bits per byte, most significant first, high bit set on all but the last byte.
std::uint64_t readEncInt(const Bytes &b, std::size_t &at, std::size_t end)
{
    std::uint64_t v = 0;
    for (int n = 0; n < 10; ++n) {
        if (at >= end)
            fail("directory entry runs past its chunk");
        const unsigned char c = b[at++];
        v = v << 7 | (c & 0x7F);
        if (!(c & 0x80))
            return v;
    }
    fail("malformed number in the directory");
}

void writeEncInt(Bytes &out, std::uint64_t v)
{
    unsigned char tmp[10];
    int n = 0;
    do {
        tmp[n++] = static_cast<unsigned char>(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n--)
        out.push_back(static_cast<unsigned char>(tmp[n] | (n ? 0x80 : 0)));
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// The single listing chunk of a small CHM: where its entries are and how much room is left.
class Directory
{
public:
    explicit Directory(Bytes &file)
        : m_file(file)
    {
        if (file.size() < 0x58 || std::memcmp(file.data(), "ITSF", 4) != 0)
            fail("not a CHM (ITSF) file");
        const std::uint64_t dirOffset = le64(file, 0x48);
        if (dirOffset + 0x54 > file.size() || std::memcmp(file.data() + dirOffset, "ITSP", 4) != 0)
            fail("no ITSP directory header");
        const std::uint32_t headerLength = le32(file, dirOffset + 8);
        m_chunkSize = le32(file, dirOffset + 0x10);
        m_density = le32(file, dirOffset + 0x14);
        const std::uint32_t depth = le32(file, dirOffset + 0x18);
        const std::uint32_t chunks = le32(file, dirOffset + 0x2C);
        // Aliases go where a reader that scans the listing finds them; with an index (PMGI) or
        // several listing chunks the entry would have to be placed in sorted order.
        if (depth != 1 || chunks != 1)
            fail("the directory has " + std::to_string(chunks) + " chunks; only one listing chunk is handled");
        m_chunk = dirOffset + headerLength;
        if (m_chunk + m_chunkSize > file.size() || std::memcmp(file.data() + m_chunk, "PMGL", 4) != 0)
            fail("no PMGL listing chunk");
        parse();
    }

    const Entry *find(const std::string &name) const
    {
        // Names are compared without regard to case, as the readers do.
        const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                     [&](const Entry &e) { return lower(e.name) == lower(name); });
        return it == m_entries.end() ? nullptr : &*it;
    }

    void add(const std::string &name, const Entry &target)
    {
        Bytes encoded;
        writeEncInt(encoded, name.size());
        encoded.insert(encoded.end(), name.begin(), name.end());
        writeEncInt(encoded, target.section);
        writeEncInt(encoded, target.offset);
        writeEncInt(encoded, target.length);
        // The quick-reference table at the chunk's end stays as it is: a count and one offset per
        // (1 + 2^density) entries of the original listing.
        const std::size_t quickRef = 2 + 2 * (m_originalCount / (1 + (std::size_t(1) << m_density)));
        const std::size_t room = m_freeSpace >= quickRef ? m_freeSpace - quickRef : 0;
        if (encoded.size() > room)
            fail("no room left in the directory chunk for " + name);
        const std::size_t at = m_chunk + m_chunkSize - m_freeSpace;
        std::copy(encoded.begin(), encoded.end(), m_file.begin() + std::ptrdiff_t(at));
        m_freeSpace -= std::uint32_t(encoded.size());
        put32(m_file, m_chunk + 4, m_freeSpace);
        m_entries.push_back({name, target.section, target.offset, target.length});
    }

private:
    void parse()
    {
        m_freeSpace = le32(m_file, m_chunk + 4);
        if (m_freeSpace > m_chunkSize - 20)
            fail("listing chunk reports more free space than it has");
        const std::size_t end = m_chunk + m_chunkSize - m_freeSpace;
        std::size_t at = m_chunk + 20;
        while (at < end) {
            Entry e;
            const std::uint64_t length = readEncInt(m_file, at, end);
            if (at + length > end)
                fail("directory name runs past its chunk");
            e.name.assign(reinterpret_cast<const char *>(m_file.data() + at), std::size_t(length));
            at += std::size_t(length);
            e.section = readEncInt(m_file, at, end);
            e.offset = readEncInt(m_file, at, end);
            e.length = readEncInt(m_file, at, end);
            m_entries.push_back(std::move(e));
        }
        m_originalCount = le16(m_file, m_chunk + m_chunkSize - 2);
    }

    Bytes &m_file;
    std::size_t m_chunk = 0;
    std::uint32_t m_chunkSize = 0;
    std::uint32_t m_density = 0;
    std::uint32_t m_freeSpace = 0;
    std::size_t m_originalCount = 0;
    std::vector<Entry> m_entries;
};

Bytes readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    if (!out)
        fail("cannot write " + path);
}

// number -> topic as the archive stores it.
std::map<long, std::string> readContexts(const std::string &aliFile)
{
    std::ifstream in(aliFile);
    if (!in)
        fail("cannot read " + aliFile);
    std::map<long, std::string> contexts;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string symbol = line.substr(0, eq);
        const auto digits = symbol.find_last_not_of("0123456789");
        if (digits == symbol.size() - 1)
            fail("context line without a number: " + line);
        contexts[std::stol(symbol.substr(digits + 1))] = line.substr(eq + 1);
    }
    return contexts;
}

// The name xchm looks up for a context topic: "/" + topic with "." and ".." resolved and
// repeated separators collapsed.
std::string lookupName(const std::string &topic)
{
    std::vector<std::string> parts;
    std::stringstream in(topic);
    std::string part;
    while (std::getline(in, part, '/')) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string name;
    for (const std::string &p : parts)
        name += "/" + p;
    return name.empty() ? "/" : name;
}

// The archive's own name of a topic that chmcmd wrote as a path under the source folder.
std::optional<std::string> archiveName(const std::string &lookup, std::string sourceFolder)
{
    sourceFolder = lookupName(sourceFolder);
    if (lookup.size() > sourceFolder.size() + 1 && lookup.compare(0, sourceFolder.size(), sourceFolder) == 0
        && lookup[sourceFolder.size()] == '/')
        return lookup.substr(sourceFolder.size());
    return std::nullopt;
}

int fix(const std::string &in, const std::string &ali, const std::string &source, const std::string &out)
{
    Bytes file = readFile(in);
    Directory dir(file);
    for (const auto &[number, topic] : readContexts(ali)) {
        const std::string lookup = lookupName(topic);
        if (dir.find(lookup))
            continue;
        const auto name = archiveName(lookup, source);
        const Entry *target = name ? dir.find(*name) : nullptr;
        if (!target)
            fail("context " + std::to_string(number) + " names " + topic + ", which is not in the help file");
        dir.add(lookup, *target);
    }
    writeFile(out, file);
    return 0;
}

int check(const std::string &chm, const std::string &ali, const std::vector<std::string> &expected)
{
    Bytes file = readFile(chm);
    Directory dir(file);
    const auto contexts = readContexts(ali);
    int faults = 0;
    for (const auto &[number, topic] : contexts) {
        const Entry *found = dir.find(lookupName(topic));
        if (!found) {
            std::cerr << "context " << number << ": " << topic << " is not in " << chm << "\n";
            ++faults;
        }
    }
    for (const std::string &pair : expected) {
        const auto eq = pair.find('=');
        if (eq == std::string::npos)
            fail("expected <number>=<topic>, got " + pair);
        const long number = std::stol(pair.substr(0, eq));
        const std::string wanted = "/" + pair.substr(eq + 1);
        const auto it = contexts.find(number);
        const Entry *topic = dir.find(wanted);
        const Entry *opened = it == contexts.end() ? nullptr : dir.find(lookupName(it->second));
        // The context must lead to the very content of the wanted topic.
        if (!topic || !opened || topic->section != opened->section || topic->offset != opened->offset
            || topic->length != opened->length) {
            std::cerr << "context " << number << " should open " << wanted << " but opens "
                      << (opened ? opened->name : std::string("nothing")) << "\n";
            ++faults;
        } else {
            std::cout << "context " << number << " opens " << wanted << "\n";
        }
    }
    return faults == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() == 5 && args[0] == "fix")
            return fix(args[1], args[2], args[3], args[4]);
        if (args.size() >= 3 && args[0] == "check")
            return check(args[1], args[2], std::vector<std::string>(args.begin() + 3, args.end()));
        std::cerr << "usage: chmcontextalias fix <in.chm> <contexts.ali> <source folder> <out.chm>\n"
                     "       chmcontextalias check <chm> <contexts.ali> [<number>=<topic>...]\n";
        return 2;
    } catch (const std::exception &e) {
        std::cerr << "chmcontextalias: " << e.what() << "\n";
        return 1;
    }
}
