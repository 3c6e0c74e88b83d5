// orvexutil end to end: one table of command lines, each run by /bin/sh in a
// fresh folder holding the fixtures, with its exit status, fragments of its
// output and a shell check of the files it left.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// $T the tool, $D the samples. Fixtures: s.xml and s.bin hold the same scalars; k.xml
// has keys with a dot and a backslash and an array; bad.xml fails on line 4.
// same A B: the two documents hold the same tree (typed, in document order).
// clean: no temporary file left in the folder.
const char FIXTURES[] = R"sh(
cp "$D/scalars.xml" s.xml && cp "$D/scalars.bin" s.bin
printf '<plist><dict><key>a.b</key><integer>1</integer><key>back\\slash</key><string>x</string>'\
'<key>list</key><array><string>zero</string><dict><key>deep</key><true/></dict></array></dict></plist>' > k.xml
printf '<plist>\n<dict>\n  <key>a</key>\n  <foo/>\n</dict></plist>\n' > bad.xml
)sh";
const char HELPERS[] = R"sh(
same() { [ "$($T print --json "$1")" = "$($T print --json "$2")" ]; }
isbin() { [ "$(head -c 8 "$1")" = bplist00 ]; }
isxml() { [ "$(head -c 5 "$1")" = '<?xml' ]; }
clean() { [ -z "$(ls -A | grep '^\.')" ]; }
)sh";

struct Case {
    const char *run;
    int status;
    std::vector<const char *> out; // fragments of standard output; "=" first: all of it
    std::vector<const char *> err; // fragments of standard error
    const char *check;             // must exit 0 afterwards
    const char *only_if = nullptr; // skipped unless this succeeds
};

// Root writes into read-only folders; containers may lack terminals.
const char NO_ROOT[] = "[ \"$(id -u)\" != 0 ]";
const char ROOT[] = "[ \"$(id -u)\" = 0 ]";
const char HAS_TTY[] = "script -qec true /dev/null";

const Case CASES[] = {
    // conversions, both ways, in place, beside, through standard input and output
    {"$T convert binary -o o.bin s.xml", 0, {"="}, {}, "isbin o.bin && same o.bin s.xml"},
    {"$T convert xml -o o.xml s.bin", 0, {}, {}, "isxml o.xml && same o.xml s.bin"},
    {"cp s.xml i && $T convert binary i && isbin i && $T convert xml i",
     0,
     {},
     {},
     "isxml i && same i s.xml && clean"},
    {"cp s.xml e.plist && $T convert binary -e .bplist e.plist",
     0,
     {},
     {},
     "isbin e.bplist && isxml e.plist"},
    {"$T convert binary - < s.xml > o.bin", 0, {}, {}, "isbin o.bin && same o.bin s.xml"},
    {"cat s.bin | $T convert xml -o - -", 0, {"<key>answer</key>", "<integer>42</integer>"}, {}, nullptr},
    {"for f in $D/*.xml $D/*.bin; do $T convert binary -o b $f && same b $f || echo $f; done;"
     "for f in $D/*.xml; do $T convert xml -o x $f && same x $f || echo $f; done",
     0,
     {"="},
     {},
     nullptr},
    {"$T convert xml --sort-keys -o - $D/library.xml | $T print -",
     0,
     {"  Tracks: dictionary (50 entries)\n    1: dictionary (8 entries)\n      Artist: \"Artist 1\"\n",
      "      Track ID: 1\n    10: dictionary"},
     {},
     nullptr},
    {"script -qec '$T convert binary - < s.xml' /dev/null",
     2,
     {"not writing binary to a terminal"},
     {},
     nullptr,
     HAS_TTY},
    {"script -qec '$T convert binary -o - - < s.xml' /dev/null", 0, {"bplist00"}, {}, nullptr, HAS_TTY},
    {"$T convert yaml s.xml", 2, {}, {"unknown format 'yaml' (one of xml, binary, json, openstep)"}, nullptr},
    {"$T convert openstep --typed -o o.txt s.xml && $T convert binary -o o.bin o.txt",
     0,
     {},
     {},
     "grep -q '<[*]I42>' o.txt && same o.bin s.xml"},
    {"$T convert openstep -o - s.bin",
     0,
     {"\tanswer = 42;\n", "\twhen = \"2004-02-29 12:30:45 +0000\";\n"},
     {},
     nullptr},
    {"cp \"$D/uids.bin\" u.bin && $T convert openstep u.bin",
     1,
     {},
     {"u.bin: cannot write openstep"},
     "cmp u.bin \"$D/uids.bin\" && clean"},
    {"$T convert xml --typed s.bin", 2, {}, {"--typed does not apply to xml"}, nullptr},
    {"$T convert json s.xml",
     1,
     {},
     {"s.xml: cannot write json: the data value at blob has no JSON form"},
     "isxml s.xml && clean"},
    {"$T convert json -o o.json k.xml && $T convert binary -o o.bin o.json", 0, {}, {}, "same o.bin k.xml"},
    {"$T convert json --pretty --lossy -o - s.bin",
     0,
     {"{\n  \"yes\": true,\n", "  \"blob\": \"AAEC/w==\",\n  \"when\": \"2004-02-29T12:30:45Z\"\n}"},
     {},
     nullptr},
    {"$T convert xml --pretty s.bin", 2, {}, {"--pretty does not apply to xml"}, "isbin s.bin"},
    {"$T convert xml -o x s.bin s.xml", 2, {}, {"-o takes one FILE"}, nullptr},
    // lint verdicts and rejections
    {"$T lint s.xml s.bin", 0, {"=s.xml: OK\ns.bin: OK\n"}, {}, nullptr},
    {"$T lint s.xml bad.xml < /dev/null",
     1,
     {"=s.xml: OK\n"},
     {"orvexutil: bad.xml: line 4, column 3: unknown element"},
     nullptr},
    {"head -c 30 s.bin > t.bin; $T lint -s s.xml t.bin",
     1,
     {"="},
     {"orvexutil: t.bin: byte 30: document ends early"},
     nullptr},
    {"printf '\\001hello' | $T lint - nofile",
     1,
     {},
     {"<stdin>: byte 0: unknown or unsupported encoding", "nofile: No such file"},
     nullptr},
    {"truncate -s 4294967296 big && $T lint big", 1, {}, {"big: document longer than 2^32-1 bytes"}, nullptr},
    // print
    {"$T print s.bin",
     0,
     {"dictionary (13 entries)\n  yes: true\n", "  answer: 42\n", "  pi: 3.141592653589793\n",
      "  negzero: -0.0\n", "  text: \"Hello, world\"\n", "  blob: data (4 bytes) 00 01 02 ff\n",
      "  when: date 2004-02-29T12:30:45Z\n"},
     {},
     nullptr},
    {"$T print $D/dates-fractional.bin; $T print $D/uids.bin; $T print k.xml",
     0,
     {"  2: date 1960-06-01T12:00:00.125Z\n", "    root: uid 1\n", "  back\\slash: \"x\"\n",
      "  list: array (2 items)\n    0: \"zero\"\n    1: dictionary (1 entry)\n      deep: true\n"},
     {},
     nullptr},
    {"$T print --json k.xml",
     0,
     {R"("list": {"type": "array", "items": [)", R"({"type": "bool", "value": true})"},
     {},
     nullptr},
    // key paths: reads
    {"$T extract list.1.deep xml k.xml", 0, {"<plist version=\"1.0\">\n<true/>\n</plist>"}, {}, nullptr},
    {"$T extract 'a\\.b' xml --raw k.xml && $T type 'back\\\\slash' k.xml", 0, {"=1\nstring\n"}, {}, nullptr},
    {"$T type list.1.nope k.xml",
     1,
     {"="},
     {"orvexutil: k.xml: key path 'list.1.nope': 'list.1' has no 'nope'\n"},
     nullptr},
    {"$T type list.5 k.xml", 1, {}, {"key path 'list.5': 'list' has no '5' (an array of 2 items)"}, nullptr},
    {"$T type 'a\\.b.c' k.xml", 1, {}, {"key path 'a\\.b.c': 'a\\.b' has no 'c' (an integer)"}, nullptr},
    {"$T type 'a\\b' k.xml", 2, {}, {"only \\. and \\\\ may follow a backslash"}, nullptr},
    {"$T extract list xml --raw k.xml",
     2,
     {},
     {"--raw needs a scalar; key path 'list' is an array"},
     nullptr},
    // key paths: edits keep the encoding
    {"$T set list.1.deep -integer -5 k.xml && $T extract list.1.deep xml --raw k.xml",
     0,
     {"=-5\n"},
     {},
     "[ \"$(head -c 7 k.xml)\" = '<plist>' ] && clean"},
    {"$T set 'new\\.key' -date 2024-02-29T12:00:00.25Z s.bin && $T extract 'new\\.key' xml --raw s.bin",
     0,
     {"=2024-02-29T12:00:00.25Z\n"},
     {},
     "isbin s.bin"},
    {"$T insert list.0 -string first k.xml && $T insert list -data AAEC/w== -append k.xml && $T print k.xml",
     0,
     {"    0: \"first\"\n    1: \"zero\"\n", "    3: data (4 bytes) 00 01 02 ff\n"},
     {},
     nullptr},
    // insert may add at the end, named with leading zeros as any position
    {"$T insert list.02 -string end k.xml && $T type list.2 k.xml && $T insert list.4 -string x k.xml",
     1,
     {"=string\n"},
     {"key path 'list.4': 'list' has no '4' (an array of 3 items)"},
     nullptr},
    {"$T insert 'a\\.b' -bool true k.xml",
     1,
     {},
     {"key path 'a\\.b': the root already has 'a.b'"},
     "same k.xml k.xml"},
    {"$T remove list.0 k.xml && $T type list.0 k.xml && $T remove list.3 k.xml",
     1,
     {"=dictionary\n"},
     {"'list' has no '3'"},
     nullptr},
    {"$T set sub -xml '<array><real>2</real></array>' k.xml && $T set sub.0 -dictionary k.xml && $T print "
     "k.xml",
     0,
     {"  sub: array (1 item)\n    0: dictionary (empty)\n"},
     {},
     nullptr},
    {"$T set answer -integer 7 - < s.bin > o.bin && $T extract answer xml --raw o.bin",
     0,
     {"=7\n"},
     {},
     "isbin o.bin"},
    {"$T set x -integer 18446744073709551616 k.xml",
     2,
     {},
     {"expected an integer from -2^63 to 2^64-1"},
     nullptr},
    {"$T set x -date 2023-02-29T00:00:00Z k.xml",
     2,
     {},
     {"expected an ISO 8601 date in UTC, YYYY[-MM[-DD[THH[:MM[:SS[.fraction]]]]]][Z]"},
     nullptr},
    // dates, reals and JSON text as the library reads and writes them
    {"for v in 2024 2024-02-29T12 2024-02-29T12:30:45.5 +10000-01-01T00:00:00Z; do $T set x -date $v s.bin &&"
     " $T extract x xml --raw s.bin; done && for v in 5e-324 1e16 100 0.1; do $T set x -real $v s.bin &&"
     " $T extract x xml --raw s.bin; done && $T set x -string \"$(printf 'a\\t\\177\\303')\" s.bin &&"
     " $T print --json s.bin | grep '\"x\":'",
     0,
     {"=2024-01-01T00:00:00Z\n2024-02-29T12:00:00Z\n2024-02-29T12:30:45.5Z\n+10000-01-01T00:00:00Z\n"
      "5e-324\n1e+16\n100.0\n0.1\n"
      "  \"x\": {\"type\": \"string\", \"value\": \"a\\t\x7f\xEF\xBF\xBD\"}\n"},
     {},
     nullptr},
    {"$T set x -data 'AA=A' k.xml", 2, {}, {"-data 'AA=A': expected base64"}, nullptr},
    {"$T set x -json '{\"n\": [1, 2.5]}' k.xml && $T extract x.n.1 xml --raw k.xml",
     0,
     {"=2.5\n"},
     {},
     nullptr},
    // writes never lose the original and leave no temporary file
    {"v=$(printf '[%.0s' $(seq 300); printf ']%.0s' $(seq 300)) && $T set x -json \"$v\" k.xml && cp k.xml "
     "k0 &&"
     " $T set \"x$(printf '.0%.0s' $(seq 250))\" -json \"$v\" k.xml",
     1,
     {},
     {"the edit would nest containers 551 deep; documents may nest at most 512"},
     "cmp k.xml k0 && clean"},
    {"mkdir d && $T convert xml -o d s.bin",
     1,
     {},
     {"orvexutil: d: is a directory"},
     "[ -d d ] && [ -z \"$(ls -A d)\" ] && clean"},
    {"$T convert xml -o nodir/x s.bin", 1, {}, {"orvexutil: nodir/x: No such file or directory"}, "clean"},
    {"cp bad.xml b.xml && $T convert binary s.xml b.xml",
     1,
     {},
     {"b.xml: line 4"},
     "isbin s.xml && cmp b.xml bad.xml"},
    {"mkdir ro && cp s.xml ro/ && chmod a-w ro && $T convert binary ro/s.xml",
     1,
     {},
     {"ro/s.xml: Permission denied"},
     "cmp ro/s.xml s.xml && [ \"$(ls -A ro)\" = s.xml ]",
     NO_ROOT},
    {"chmod 640 s.xml && ln -s s.xml link && $T set answer -integer 1 link",
     0,
     {},
     {},
     "[ -L link ] && [ \"$(stat -c %a s.xml)\" = 640 ] && [ \"$($T extract answer xml --raw s.xml)\" = 1 ]"},
    // an edit keeps types, encoding, form and what the file is
    {"printf '{ n = <*I5>; d = <*D2001-01-01 00:00:00 +0000>; ok = <*BY>; }' > t.txt &&"
     " $T set note -string hello t.txt 2>err && for k in n d ok note; do $T type $k t.txt; done",
     0,
     {"=integer\ndate\nbool\nstring\n"},
     {},
     "[ ! -s err ] && grep -q '^{' t.txt"},
    {"printf 'url = http://x/y;\n\"q\" = \"a // b\";\n' > t.strings && $T set n -integer 5 t.strings 2>err &&"
     " $T type n t.strings && $T set n -real 2.5 t.strings && $T type n t.strings",
     0,
     {"=string\nstring\n"},
     {},
     "[ ! -s err ] && ! grep -q '[{}]' t.strings && grep -q '^url = http://x/y;$' t.strings"},
    {"cp \"$D/ostep/base-French-utf16.strings\" f.strings && $T set x -string y f.strings 2>err &&"
     " $T extract --raw x xml f.strings && $T extract --raw NSProprietaryStringEncoding xml f.strings",
     0,
     {"=y\nPropri\xC3\xA9taire\n"},
     {},
     "[ ! -s err ] && [ \"$(head -c 4 f.strings | od -An -tx1)\" = ' ff fe 2f 00' ] && iconv -f UTF-16 "
     "f.strings"
     " > b && iconv -f UTF-16 \"$D/ostep/base-French-utf16.strings\" | diff - b | grep -qx '> x = y;' &&"
     " [ \"$(iconv -f UTF-16 \"$D/ostep/base-French-utf16.strings\" | diff - b | grep -c '^[<>]')\" = 1 ]"},
    {"printf '<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist><dict/></plist>' | iconv -t UTF-16BE > x0 &&"
     " printf '\\376\\377' | cat - x0 > u.xml && $T set a -integer 1 u.xml 2>err && $T extract --raw a xml "
     "u.xml",
     0,
     {"=1\n"},
     {},
     "[ ! -s err ] && [ \"$(head -c 4 u.xml | od -An -tx1)\" = ' fe ff 00 3c' ]"},
    {"printf '\\357\\273\\277{ a = 1; /* c */ }' > b.txt && $T set a -string 2 b.txt 2>err && "
     "printf '<plist><!-- c --><dict/></plist>' > c.xml && $T set a -bool NO c.xml 2>>err",
     0,
     {"="},
     {},
     "[ ! -s err ] && [ \"$(head -c 4 b.txt | od -An -tx1)\" = ' ef bb bf 7b' ] && grep -q '/[*] c [*]/' "
     "b.txt && grep -q '<!-- c -->' "
     "c.xml && [ \"$($T extract --raw a xml c.xml)\" = false ]"},
    // text documents keep every byte but the edited entry's: each diff shows that line alone
    {"printf '// head\\n{\\n  a = 1; /* a */\\n  b = \"x\\\\ty\";\\n\\n  c = (1, 2);\\n}\\n' > o.txt && cp "
     "o.txt o0 &&"
     " $T set a -string 2 o.txt && diff o0 o.txt; cp o.txt o1 && $T insert d -string 'new one' o.txt &&"
     " diff o1 o.txt; cp o.txt o2 && $T remove c o.txt && diff o2 o.txt",
     1,
     {"=3c3\n<   a = 1; /* a */\n---\n>   a = 2; /* a */\n6a7\n>   d = \"new one\";\n6d5\n<   c = (1, 2);\n"},
     {},
     nullptr},
    // edit: a batch in order, one write; a refused one leaves the file and names its edit
    {"printf '{\\n  a = 1; // c\\n  b = 2;\\n  c = (1);\\n}\\n' > o.txt && $T edit o.txt set a -string 'a b' "
     ","
     " insert c.0 -integer 0 , insert c -string , -append , remove b , set -x -string , && cat o.txt",
     0,
     {"={\n  a = \"a b\"; // c\n  c = (0, 1, \",\");\n  -x = \",\";\n}\n"},
     {},
     "clean"},
    {"cp k.xml k0 && $T edit k.xml set x -dictionary , remove x.y; $T edit k.xml set y -bool 1 , remove nope",
     1,
     {},
     {"k.xml: edit 2 (remove x.y): key path 'x.y': 'x' has no 'y'\n",
      "k.xml: edit 2 (remove nope): key path 'nope': the root has no 'nope'\n"},
     "cmp k.xml k0 && clean"},
    {"$T edit k.xml remove list ','; $T edit k.xml frob x; $T edit k.xml set a -string; $T edit k.xml remove "
     "a b",
     2,
     {},
     {"expected an edit after the last ','", "edit 1: 'frob' is not set, insert or remove",
      "edit 1: expected VALUE", "expected ',' after edit 1, not 'b'"},
     nullptr},
    // copy keeps the exact value; merge sets a dictionary's entries into another, in place
    {"cp \"$D/dates-fractional.bin\" f.bin && $T copy 2 0 f.bin && $T extract 0 xml --raw f.bin && $T copy "
     "nope"
     " x f.bin",
     1,
     {"=1960-06-01T12:00:00.125Z\n"},
     {"f.bin: key path 'nope': the root has no 'nope'"},
     "isbin f.bin"},
    {"printf '{\\n  a = { x = 1; y = \"2 2\"; };\\n  b = {\\n    y = 0; /* keep */\\n    z = 3;\\n  "
     "};\\n}\\n' > m.txt"
     " && cp m.txt m0 && $T merge a b m.txt && diff m0 m.txt; $T merge a.x b m.txt",
     1,
     {"=4c4\n<     y = 0; /* keep */\n---\n>     y = \"2 2\"; /* keep */\n5a6\n>     x = 1;\n"},
     {"m.txt: key path 'a.x' is a string, not a dictionary"},
     nullptr},
    {"cp s.xml o.xml && chown 65534:65534 o.xml && chmod 604 o.xml && $T set answer -integer 1 o.xml",
     0,
     {},
     {},
     "[ \"$(stat -c %u:%g:%a o.xml)\" = 65534:65534:604 ] && clean",
     ROOT},
    {"ln s.xml h.xml && $T set answer -integer 1 h.xml && $T convert binary s.xml",
     0,
     {},
     {},
     "[ \"$(stat -c %h s.xml)\" = 2 ] && isbin h.xml && [ \"$($T extract answer xml --raw h.xml)\" = 1 ] && "
     "clean"},
    {"chmod 444 s.xml && $T set answer -integer 1 s.xml",
     1,
     {},
     {"orvexutil: s.xml: Permission denied"},
     "cmp s.xml \"$D/scalars.xml\" && clean",
     NO_ROOT},
    // keys that start with '-': -- ends the options of every command
    {"printf '<plist><dict><key>-1</key><integer>1</integer></dict></plist>' > m.xml && $T type -- -1 m.xml "
     "&&"
     " $T set -- -1 -integer -2 m.xml && $T extract --raw -- -1 xml m.xml && $T insert -- -x -string -y "
     "m.xml &&"
     " $T remove -- -1 m.xml && $T print m.xml && $T type -1 m.xml",
     2,
     {"=integer\n-2\ndictionary (1 entry)\n  -x: \"-y\"\n"},
     {"type: unknown option '-1' (give -- before an operand that starts with '-')"},
     nullptr},
    // what users of the vendor's converter type
    {"$T convert xml1 -o o.xml s.bin && $T convert binary1 -o o.bin o.xml && $T create xml1 c.plist &&"
     " $T create openstep c.txt && $T print c.plist && $T print c.txt",
     0,
     {"=dictionary (empty)\ndictionary (empty)\n"},
     {},
     "isxml o.xml && isbin o.bin && same o.bin s.xml && isxml c.plist"},
    {"$T set f -float 2.5 k.xml && $T set y -bool YES k.xml && $T set n -bool nO k.xml && $T set i -real "
     "-inf k.xml"
     " && $T print k.xml | tail -n 4 && $T set x -real 1e400 k.xml",
     2,
     {"=  f: 2.5\n  y: true\n  n: false\n  i: -inf\n"},
     {"-real '1e400': expected a number within the range of a double"},
     nullptr},
    {"$T extract -expect integer answer xml --raw -n s.xml && $T extract -expect float pi xml -o - s.xml "
     ">/dev/null"
     " && $T extract -expect string answer xml s.xml",
     1,
     {"=42"},
     {"orvexutil: s.xml: key path 'answer' is an integer, not a string\n"},
     nullptr},
    {"$T extract -expect text answer xml s.xml",
     2,
     {},
     {"-expect 'text': not a type (bool, integer,"},
     nullptr},
    {"$T extract -n answer xml s.xml", 2, {}, {"-n applies to --raw only"}, nullptr},
    {"$T -help && $T set -help",
     0,
     {"Usage: orvexutil COMMAND", "Usage: orvexutil set KEYPATH"},
     {},
     nullptr},
    // help and usage
    {"$T", 2, {}, {"Usage: orvexutil COMMAND"}, nullptr},
    {"$T help convert && $T insert --help", 0, {"--sort-keys", "-append"}, {}, nullptr},
    {"$T frob", 2, {}, {"unknown command 'frob'"}, nullptr},
    {"$T print", 2, {}, {"print: expected one FILE\nTry 'orvexutil help print'."}, nullptr},
};

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs `script` in `dir` with the preamble; its status, or -1 when it did not exit.
int shell(const std::string &dir, const std::string &script, const std::string &out, const std::string &err) {
    const std::string path = dir + "/../script-" + std::to_string(::getpid()) + ".sh";
    // $T is split into words: ORVEXUTIL_WRAPPER may run the tool under another
    // program, e.g. valgrind.
    const char *wrapper = std::getenv("ORVEXUTIL_WRAPPER");
    std::ofstream(path) << "export T=\"" << (wrapper ? wrapper : "")
                        << " " ORVEXUTIL "\" D='" ORVEX_TEST_DATA "'\ncd '" << dir << "' || exit 99\n"
                        << HELPERS << script << "\n";
    const int status = std::system(("/bin/sh '" + path + "' >'" + out + "' 2>'" + err + "'").c_str());
    std::remove(path.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Orvexutil, CommandLines) {
    const char *tmp = std::getenv("TMPDIR");
    std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvexutil-test.XXXXXX";
    ASSERT_NE(::mkdtemp(&root[0]), nullptr);
    for (const Case &c : CASES) {
        SCOPED_TRACE(c.run);
        const std::string dir = root + "/case";
        ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir '" + dir + "'").c_str()), 0);
        if (c.only_if && shell(dir, c.only_if, root + "/out", root + "/err") != 0)
            continue;
        const int status = shell(dir, FIXTURES + std::string(c.run), root + "/out", root + "/err");
        const std::string out = slurp(root + "/out"), err = slurp(root + "/err");
        EXPECT_EQ(status, c.status) << "stdout:\n" << out << "stderr:\n" << err;
        for (const char *fragment : c.out) {
            if (fragment[0] == '=')
                EXPECT_EQ(out, fragment + 1);
            else
                EXPECT_NE(out.find(fragment), std::string::npos) << "stdout:\n"
                                                                 << out << "\nlacks:\n"
                                                                 << fragment;
        }
        for (const char *fragment : c.err)
            EXPECT_NE(err.find(fragment), std::string::npos) << "stderr:\n"
                                                             << err << "\nlacks:\n"
                                                             << fragment;
        if (c.check) {
            EXPECT_EQ(shell(dir, c.check, root + "/out", root + "/err"), 0)
                << "check failed: " << c.check << "\n"
                << slurp(root + "/err");
        }
        std::system(("chmod -R u+w '" + dir + "'").c_str());
    }
    std::system(("rm -rf '" + root + "'").c_str());
}

// As a user, a file without write permission is not replaced, even in a
// folder the user may write; root runs the tool as nobody for that.
TEST(Orvexutil, ReadOnlyFileRefused) {
    const bool root = ::geteuid() == 0;
    const std::string as_user = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const std::string probe = "w=$(mktemp -d) && chmod 777 $w && cd $w && " + as_user + "$T --version";
    if (shell("/tmp", probe + " >/dev/null; s=$?; rm -rf $w; exit $s", "/dev/null", "/dev/null") != 0)
        GTEST_SKIP() << "cannot run the tool as an unprivileged user (setpriv, or a tool nobody may run)";
    const int status =
        shell("/tmp",
              "w=$(mktemp -d) && chmod 777 $w && cp \"$D/scalars.xml\" $w/r.xml && chmod 444 $w/r.xml && " +
                  as_user +
                  "$T set answer -integer 1 $w/r.xml 2>$w/err; s=$?; "
                  "grep -q 'r.xml: Permission denied' $w/err && cmp $w/r.xml \"$D/scalars.xml\""
                  " && [ \"$(ls -A $w)\" = \"$(printf 'err\\nr.xml')\" ] || s=99; rm -rf $w; exit $s",
              "/dev/null", "/dev/null");
    EXPECT_EQ(status, 1);
}

} // namespace
