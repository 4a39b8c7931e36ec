// Both executables where their output could be lost, misplaced or mixed up
// with something else: links, descriptors, folders they cannot write, runs
// at once, signals, closed descriptors and permissions. Each case is a
// shell script run in a scratch folder holding `in` (text) and `in.tv`
// (tarvel's output for it); what it prints (exit statuses, messages, files
// left) must match exactly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "api/compress.h"
#include "support/scratch.h"
#include "support/test_data.h"

namespace tarvel {
namespace {

struct Case {
  const char* name;
  std::string script;
  std::string expected;
  bool needsRoot = false;  // switches to another user
};

void RunCases(const std::vector<Case>& cases) {
  const std::string data = testing::MakeTestData(testing::DataKind::kText, 2'000'000, 3);
  for (const Case& c : cases) {
    if (c.needsRoot && geteuid() != 0) continue;
    testing::ScratchDir dir;
    testing::WriteFile(dir / "in", data);
    testing::WriteFile(dir / "in.tv", CompressBytes(data));
    const std::string prelude = std::string("T='") + TARVEL_BINARY + "'; U='" + UNTARVEL_BINARY +
                                "'; N='setpriv --reuid=65534 --regid=65534 --clear-groups'\n";
    const auto result = testing::RunShell(prelude + c.script, dir.Path());
    EXPECT_EQ(result.out, c.expected) << c.name << "\n" << result.err;
  }
}

// Another user's copy of the binaries, in a folder `sub` that it may enter.
const std::string kAsNobody =
    "chmod 755 . && mkdir bin sub && cp \"$T\" \"$U\" bin && chmod 755 bin; "
    "chmod 644 in; T=bin/tarvel; U=bin/untarvel\n";

TEST(CliOutputTest, OutputsLandWhereTheirNamesLead) {
  RunCases({
      {"a link to a file: the file is replaced, the link stays",
       "echo old > t; ln -s t link; $T in link > /dev/null; echo $?; [ -L link ] && echo link\n"
       "cmp t in.tv && ls",
       "0\nlink\nin\nin.tv\nlink\nt\n"},
      {"a link to nothing yet",
       "ln -s sub/new link; mkdir sub; $U in.tv link > /dev/null; echo $?; cmp sub/new in && ls "
       "sub",
       "0\nnew\n"},
      {"/dev/stdout into a file: the report goes to standard error",
       "$U in.tv /dev/stdout > out 2> err; echo $?; cmp out in && head -1 err",
       "0\nuntarvel in.tv /dev/stdout\n"},
      {"/dev/stdout into a pipe, /dev/fd/3 into a file",
       "$T in /dev/stdout 2> /dev/null | cat > a; $T in /dev/fd/3 3> b > /dev/null\n"
       "cmp a in.tv && cmp b in.tv && echo same",
       "same\n"},
      {"a name too long for a temporary name beside it",
       "n=$(printf '%0250d' 0); $T in $n > /dev/null; echo $?; cmp $n in.tv && ls | wc -l",
       "0\n3\n"},
      {"zero blocks are restored as holes into files, as bytes elsewhere",
       "truncate -s 64M z; printf x >> z; truncate -s 1M t; printf '\\0' > one\n"
       "for f in z t one; do $T $f $f.tv > /dev/null; $U $f.tv $f.back > /dev/null; done\n"
       "cmp z z.back && cmp t t.back && cmp one one.back && stat -c %b t.back\n"
       "[ $(stat -c %b z.back) -le 64 ] && echo sparse; $U z.tv /dev/stdout 2> /dev/null | cmp - z",
       "0\nsparse\n"},
      {"a file with another hard link is written in place",
       "echo old > out; ln out other; $T in out > /dev/null; cmp other in.tv && stat -c %h out",
       "2\n"},
      {"two runs at once give one whole output, never a mixture",
       "head -c 3000000 /dev/urandom > r; $T r r.tv > /dev/null\n"
       "for k in 1 2 3 4; do $T in same > /dev/null & $T r same > /dev/null & wait\n"
       "  cmp -s same in.tv || cmp -s same r.tv || echo mixed; done; ls",
       "in\nin.tv\nr\nr.tv\nsame\n"},
      {"a folder without write permission: an existing output written in place",
       kAsNobody + "echo old > sub/out; chmod 666 sub/out; chmod 555 sub\n"
                   "$N $T in sub/out > /dev/null; echo $?; cmp sub/out in.tv && ls sub\n"
                   "$N $T in sub/new 2>&1; ls sub",
       "0\nout\nerror : unable to open file 'sub/new' for output.\nout\n", true},
      {"an existing output the user may not write is refused",
       kAsNobody + "echo old > sub/out; $N $T in sub/out 2>&1; echo $?; cat sub/out",
       "error : unable to open file 'sub/out' for output.\n1\nold\n", true},
      {"a sticky folder forbids the rename: nothing is left but the old file",
       kAsNobody + "chmod 1777 sub; echo old > sub/out; chmod 666 sub/out\n"
                   "$N $U in.tv sub/out 2>&1; echo $?; cat sub/out; ls sub",
       "error : unable to replace output file 'sub/out'.\n1\nold\nout\n", true},
  });
}

TEST(CliOutputTest, SignalsAndDescriptorsNeverCutARunShort) {
  const std::string big =
      "head -c 300000000 /dev/zero > z; $T z z.tv > /dev/null; echo old > out\n"
      "waitfor() { while ! ls out.tv-* > /dev/null 2>&1 && kill -0 $1 2> /dev/null; do :; done; "
      "}\n";
  RunCases({
      {"an interrupted run leaves the old output and no temporary file",
       big + "set -m; $T z out > /dev/null & p=$!; waitfor $p; kill -INT $p; wait $p; echo $?\n"
             "$U z.tv out > /dev/null & p=$!; waitfor $p; kill -TERM $p; wait $p; echo $?\n"
             "cat out; ls",
       "130\n143\nold\nin\nin.tv\nout\nz\nz.tv\n"},
      {"a folder renamed during the run: the rename fails, the temporary file goes",
       big + "mkdir sub; $U z.tv sub/out 2>&1 > /dev/null & p=$!\n"
             "while ! ls sub/out.tv-* > /dev/null 2>&1 && kill -0 $p 2> /dev/null; do :; done\n"
             "mv sub moved; wait $p; echo $?; ls moved",
       "error : unable to replace output file 'sub/out'.\n1\n"},
      {"a hang-up ignored at the start stays ignored",
       big + "trap '' HUP; $U z.tv out > /dev/null & p=$!; waitfor $p; kill -HUP $p; wait $p\n"
             "echo $?; cmp -s out z && echo restored",
       "0\nrestored\n"},
      {"a closed pipe after the data: the report's failure is ignored",
       "$T in out | true; echo ${PIPESTATUS[0]}; cmp out in.tv && echo whole", "0\nwhole\n"},
      {"a closed pipe during the data: status 1 and no message",
       "$U in.tv /dev/stdout 2> err | head -c 10 > /dev/null; echo ${PIPESTATUS[0]}; cat err",
       "1\n"},
      {"a file size limit: the disk-full message and nothing left",
       "ulimit -f 64; $T in out 2>&1; echo $?; $U in.tv out 2>&1; echo $?; ls",
       "error : disk full while writing data.\n1\nerror : disk full while writing data.\n1\n"
       "in\nin.tv\n"},
      {"closed standard descriptors take nothing of the output",
       "$T in out <&- >&- 2>&-; echo $?; $U out back <&- >&- 2>&-; echo $?\n"
       "cmp out in.tv && cmp back in && echo same",
       "0\n0\nsame\n"},
      {"a new output gets the input's permission bits less the umask; an existing one keeps its "
       "own and its owner",
       "chmod 600 in; $T in a > /dev/null; $U a b > /dev/null; chmod 644 in\n"
       "(umask 027; $T in c > /dev/null)\n"
       "echo old > d; chmod 640 d; chown 65534 d; $T in d > /dev/null\n"
       "stat -c '%n %a' a b c d; stat -c %u d",
       "a 600\nb 600\nc 640\nd 640\n65534\n", true},
  });
}

}  // namespace
}  // namespace tarvel
