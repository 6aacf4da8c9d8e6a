// SPDX-License-Identifier: GPL-3.0-or-later
//
// chmcmd (Free Pascal 3.2) writes the topic of each [MAP] context number into the archive's
// context map (#IVB, with the names in #STRINGS) as the absolute path of the source file on the
// build machine ("/<build>/help/src/ports.html") instead of the archive's own name ("ports.html").
// xchm opens a context's page under the name the map gives; a page opened under a name that is not
// its own finds nothing relative to it: its pictures, its style sheet and every link to another
// topic point into a folder the archive does not have. So the map is rewritten: each name is put
// after the existing strings of #STRINGS (the offsets that #TOPICS, #WINDOWS and the rest hold into
// it stay valid), #IVB points at the new names, and both are stored uncompressed (section 0) at
// the end of the file, where the directory entries now lead. The compressed content is untouched.
//
//   chmcontextmap fix   <in.chm> <extracted folder> <source folder> <out.chm>
//   chmcontextmap check <chm> [<number>=<topic> ...]
//
// <extracted folder> holds the archive's files as "chmls extractall <in.chm> <folder>" writes them:
// #IVB and #STRINGS are LZX-compressed inside the archive. check reads the rewritten map back and fails
// unless every context number opens its topic under the topic's own name.

#include <algorithm>
#include <cctype>
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

void put64(Bytes &b, std::size_t at, std::uint64_t v)
{
    put32(b, at, std::uint32_t(v));
    put32(b, at + 4, std::uint32_t(v >> 32));
}

// The archive's directory, a single listing chunk (all a help file of this size needs), and where
// the uncompressed content (section 0) begins.
class Directory
{
public:
    explicit Directory(Bytes &file)
        : m_file(file)
    {
        if (file.size() < 0x58 || std::memcmp(file.data(), "ITSF", 4) != 0)
            fail("not a CHM (ITSF) file");
        const std::uint32_t version = le32(file, 4);
        m_headerSection = le64(file, 0x38);
        const std::uint64_t dirOffset = le64(file, 0x48);
        const std::uint64_t dirLength = le64(file, 0x50);
        // Version 3 names where section 0 begins; before it, section 0 follows the directory.
        m_content = version >= 3 ? le64(file, 0x58) : dirOffset + dirLength;
        if (m_headerSection + 0x10 > file.size() || m_content > file.size())
            fail("header points past the end of the file");
        if (dirOffset + 0x54 > file.size() || std::memcmp(file.data() + dirOffset, "ITSP", 4) != 0)
            fail("no ITSP directory header");
        const std::uint32_t headerLength = le32(file, dirOffset + 8);
        m_chunkSize = le32(file, dirOffset + 0x10);
        m_density = le32(file, dirOffset + 0x14);
        const std::uint32_t depth = le32(file, dirOffset + 0x18);
        const std::uint32_t chunks = le32(file, dirOffset + 0x2C);
        // With an index (PMGI) or several listing chunks an entry that grows would move others
        // across chunks.
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

    // The bytes of an uncompressed entry.
    Bytes read(const Entry &entry) const
    {
        if (entry.section != 0)
            fail(entry.name + " is compressed");
        const std::uint64_t at = m_content + entry.offset;
        if (at + entry.length > m_file.size())
            fail(entry.name + " runs past the end of the file");
        return Bytes(m_file.begin() + std::ptrdiff_t(at), m_file.begin() + std::ptrdiff_t(at + entry.length));
    }

    // Stores bytes uncompressed at the end of the file as the content of the entry name.
    void store(const std::string &name, const Bytes &bytes)
    {
        const auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry &e) { return e.name == name; });
        if (it == m_entries.end())
            fail("the help file has no " + name);
        it->section = 0;
        it->offset = m_file.size() - m_content;
        it->length = bytes.size();
        m_file.insert(m_file.end(), bytes.begin(), bytes.end());
        put64(m_file, m_headerSection + 8, m_file.size());
        write();
    }

private:
    void parse()
    {
        const std::uint32_t freeSpace = le32(m_file, m_chunk + 4);
        if (freeSpace > m_chunkSize - 20)
            fail("listing chunk reports more free space than it has");
        const std::size_t end = m_chunk + m_chunkSize - freeSpace;
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
    }

    // The listing again, in its order: the entries, then the free space, then the quick-reference
    // table at the chunk's end (the offset of every (1 + 2^density)-th entry from the first, last
    // one first, and the number of entries).
    void write()
    {
        Bytes listing;
        std::vector<std::uint16_t> quickRef;
        const std::size_t every = 1 + (std::size_t(1) << m_density);
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (i > 0 && i % every == 0)
                quickRef.push_back(std::uint16_t(listing.size()));
            const Entry &e = m_entries[i];
            writeEncInt(listing, e.name.size());
            listing.insert(listing.end(), e.name.begin(), e.name.end());
            writeEncInt(listing, e.section);
            writeEncInt(listing, e.offset);
            writeEncInt(listing, e.length);
        }
        const std::size_t tail = 2 + 2 * quickRef.size();
        if (20 + listing.size() + tail > m_chunkSize)
            fail("no room left in the directory chunk");
        const std::size_t body = m_chunk + 20;
        std::fill(m_file.begin() + std::ptrdiff_t(body), m_file.begin() + std::ptrdiff_t(m_chunk + m_chunkSize), 0);
        std::copy(listing.begin(), listing.end(), m_file.begin() + std::ptrdiff_t(body));
        put32(m_file, m_chunk + 4, std::uint32_t(m_chunkSize - 20 - listing.size()));
        const std::size_t last = m_chunk + m_chunkSize;
        m_file[last - 2] = static_cast<unsigned char>(m_entries.size());
        m_file[last - 1] = static_cast<unsigned char>(m_entries.size() >> 8);
        for (std::size_t k = 0; k < quickRef.size(); ++k) {
            m_file[last - 4 - 2 * k] = static_cast<unsigned char>(quickRef[k]);
            m_file[last - 3 - 2 * k] = static_cast<unsigned char>(quickRef[k] >> 8);
        }
    }

    Bytes &m_file;
    std::uint64_t m_headerSection = 0;
    std::uint64_t m_content = 0;
    std::size_t m_chunk = 0;
    std::uint32_t m_chunkSize = 0;
    std::uint32_t m_density = 0;
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

// #IVB: the byte count of the pairs, then (context number, offset of its topic in #STRINGS) pairs.
std::vector<std::pair<std::uint32_t, std::uint32_t>> readPairs(const Bytes &ivb)
{
    if (ivb.size() < 4 || (ivb.size() - 4) % 8 != 0 || le32(ivb, 0) != ivb.size() - 4)
        fail("#IVB is not a list of context pairs");
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    for (std::size_t at = 4; at < ivb.size(); at += 8)
        pairs.emplace_back(le32(ivb, at), le32(ivb, at + 4));
    return pairs;
}

std::string stringAt(const Bytes &strings, std::uint32_t offset)
{
    if (offset >= strings.size())
        fail("a context names a string past the end of #STRINGS");
    const auto end = std::find(strings.begin() + offset, strings.end(), 0);
    if (end == strings.end())
        fail("a string of #STRINGS has no end");
    return std::string(strings.begin() + offset, end);
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

int fix(const std::string &in, const std::string &extracted, const std::string &source, const std::string &out)
{
    Bytes file = readFile(in);
    Directory dir(file);
    Bytes strings = readFile(extracted + "/#STRINGS");
    auto pairs = readPairs(readFile(extracted + "/#IVB"));
    for (auto &[number, offset] : pairs) {
        const std::string topic = stringAt(strings, offset);
        const std::string lookup = lookupName(topic);
        const std::string name = archiveName(lookup, source).value_or(lookup);
        if (!dir.find(name))
            fail("context " + std::to_string(number) + " names " + topic + ", which is not in the help file");
        // Stored as the compilers of Windows store it: relative to the archive's root.
        offset = std::uint32_t(strings.size());
        strings.insert(strings.end(), name.begin() + 1, name.end());
        strings.push_back(0);
    }
    Bytes ivb(4 + 8 * pairs.size());
    put32(ivb, 0, std::uint32_t(8 * pairs.size()));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        put32(ivb, 4 + 8 * i, pairs[i].first);
        put32(ivb, 8 + 8 * i, pairs[i].second);
    }
    dir.store("/#STRINGS", strings);
    dir.store("/#IVB", ivb);
    writeFile(out, file);
    return 0;
}

int check(const std::string &chm, const std::vector<std::string> &expected)
{
    Bytes file = readFile(chm);
    Directory dir(file);
    const Entry *ivb = dir.find("/#IVB");
    const Entry *strings = dir.find("/#STRINGS");
    if (!ivb || !strings)
        fail(chm + " has no context map");
    if (ivb->section != 0 || strings->section != 0)
        fail("the context map of " + chm + " is still chmcmd's, whose topics are paths of the build machine");
    const Bytes names = dir.read(*strings);
    std::map<long, std::string> contexts;
    int faults = 0;
    for (const auto &[number, offset] : readPairs(dir.read(*ivb))) {
        // What xchm opens: "/" + the name of the map.
        const std::string page = lookupName("/" + stringAt(names, offset));
        contexts[number] = page;
        if (!dir.find(page)) {
            std::cerr << "context " << number << ": " << page << " is not in " << chm << "\n";
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
        // The very name, not another entry with the same content: the page's pictures and links
        // are found relative to the name it was opened under.
        if (it == contexts.end() || lower(it->second) != lower(wanted) || !dir.find(wanted)) {
            std::cerr << "context " << number << " should open " << wanted << " but opens "
                      << (it == contexts.end() ? std::string("nothing") : it->second) << "\n";
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
        if (args.size() >= 2 && args[0] == "check")
            return check(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
        std::cerr << "usage: chmcontextmap fix <in.chm> <extracted folder> <source folder> <out.chm>\n"
                     "       chmcontextmap check <chm> [<number>=<topic>...]\n";
        return 2;
    } catch (const std::exception &e) {
        std::cerr << "chmcontextmap: " << e.what() << "\n";
        return 1;
    }
}
