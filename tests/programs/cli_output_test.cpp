// Both executables where their output could be lost, misplaced or mixed up
// with something else: links, descriptors, folders they cannot write, runs
// at once, signals, closed descriptors and permissions. Each case is a
// shell script run in a scratch folder holding `in` (text) and `in.tv`
// (tarvel's output for it); what it prints (exit statuses, messages, files
// left) must match exactly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <iostream>
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
  bool needsRoot = false;  // switches to another user, mounts, makes a cgroup
  // Sets limits on memory, descriptors or processes, which the sanitizers'
  // or an emulator's own use of them would fail.
  bool limitsResources = false;
};

#if defined(__SANITIZE_ADDRESS__) || defined(TARVEL_EMULATED)
constexpr bool kLimitsDistorted = true;
#else
constexpr bool kLimitsDistorted = false;
#endif

// A script that prints this has found that the machine cannot run it.
const std::string kSkipped = "skipped\n";

void RunCases(const std::vector<Case>& cases) {
  const std::string data = testing::MakeTestData(testing::DataKind::kText, 2'000'000, 3);
  for (const Case& c : cases) {
    if ((c.needsRoot && geteuid() != 0) || (c.limitsResources && kLimitsDistorted)) {
      std::cerr << "skipped: " << c.name << "\n";
      continue;
    }
    testing::ScratchDir dir;
    testing::WriteFile(dir / "in", data);
    testing::WriteFile(dir / "in.tv", CompressBytes(data));
    const std::string prelude = std::string("T='") + TARVEL_BINARY + "'; U='" + UNTARVEL_BINARY +
                                "'; F='" + FILTER_BINARY +
                                "'; N='setpriv --reuid=65534 --regid=65534 --clear-groups'\n";
    const auto result = testing::RunShell(prelude + c.script, dir.Path());
    if (result.out == kSkipped) {
      std::cerr << "skipped, not possible here: " << c.name << "\n";
      continue;
    }
    EXPECT_EQ(result.out, c.expected) << c.name << "\n" << result.err;
  }
}

TEST(CliOutputTest, ShellPatternsNeverDestroyAFile) {
  RunCases({
      {"untarvel: three names give the usage line, and touch nothing",
       "cp in.tv a.tv; cp in.tv b.tv; $U *.tv 2>&1; echo $?; cmp a.tv in.tv && cmp b.tv in.tv && "
       "ls",
       "usage: untarvel [-f] <file in> <file out>\n1\na.tv\nb.tv\nin\nin.tv\n"},
      {"untarvel: an existing file, also through a link, is replaced with -f only",
       "echo old > out; ln -s out link; $U in.tv link 2>&1; echo $?; $U in.tv out 2>&1; cat out\n"
       "$U -f in.tv out > /dev/null; echo $?; cmp out in && echo replaced",
       "error : output file 'link' already exists; use -f to replace it.\n1\n"
       "error : output file 'out' already exists; use -f to replace it.\nold\n0\nreplaced\n"},
      {"untarvel: a file that appears during the run is kept, at a short and a long name",
       "mkfifo f; $U f out 2>&1 & p=$!; exec 3> f\n"
       "while ! ls out.tv-* > /dev/null 2>&1 && kill -0 $p 2> /dev/null; do :; done\n"
       "echo precious > out; cat in.tv >&3; exec 3>&-; wait $p; echo $?; cat out\n"
       "n=$(printf '%0250d' 0); TMPDIR=$PWD $U f $n 2>&1 | sed 's/0\\{250\\}/N/' & exec 3> f\n"
       "while ! ls -l /proc/*/fd 2> /dev/null | grep -q \"$PWD/tarvel-.*deleted\"; do :; done\n"
       "echo precious > $n; ln $n hard; cat in.tv >&3; exec 3>&-; wait; cat $n hard; ls | wc -l",
       "error : output file 'out' already exists; use -f to replace it.\n1\nprecious\n"
       "error : output file 'N' already exists; use -f to replace it.\nprecious\nprecious\n6\n"},
      {"untarvel: outputs that are not regular files need no -f; -- ends the options",
       "$U in.tv /dev/null > /dev/null; echo $?; cp in.tv ./-f; $U -- -f new > /dev/null; echo $?\n"
       "cmp new in && echo same",
       "0\n0\nsame\n"},
      {"untarvel: --help and --version on standard output, an unknown option refused",
       "$U --help | head -1; echo ${PIPESTATUS[0]}; $U --version | cut -d' ' -f1\n"
       "$U -q in.tv out 2>&1; echo $?",
       "usage: untarvel [-f] <file in> <file out>\n0\nuntarvel\nerror : unknown option '-q'.\n1\n"},
      {"tarvel: swapped names keep the original; other existing outputs are replaced",
       "cp in a; cp in.tv a.tarvel; $T a.tarvel a 2>&1; echo $?; cmp a in && echo kept\n"
       "cp in b.tarvel; echo junk > j.tarvel; $T j.tarvel a > /dev/null; echo $?\n"
       "$T a.tarvel b.tarvel > /dev/null; echo $?; cmp b.tarvel <($T in.tv /dev/stdout 2>&1)",
       "error : input file 'a.tarvel' is already compressed, and 'a' exists; use untarvel to "
       "restore it.\n1\nkept\n0\n0\n"},
      {"tarvel: a third name that exists is a pattern; /16 and other words are ignored",
       "cp in a; cp in b; $T a b in 2>&1; echo $?; cmp b in && $T in x.tv /16 -x > /dev/null\n"
       "echo $?; cmp x.tv in.tv && echo same",
       "usage: tarvel <file in> <file out> [/16]\n1\n0\nsame\n"},
  });
}

TEST(CliOutputTest, TheFilterServesTarAndFailsAsThePrograms) {
  RunCases({
      {"GNU tar and bsdtar through the filter: tarvel's bytes for the same tar, and back",
       "command -v bsdtar > /dev/null || { echo skipped; exit; }\n"
       "mkdir d; cp in in.tv d; tar -cf d.tar d; $T d.tar d.tv > /dev/null\n"
       "tar -I \"$F\" -cf a.tar.tarvel d; cmp a.tar.tarvel d.tv && mkdir x\n"
       "tar -I \"$F\" -xf a.tar.tarvel -C x && diff -r d x/d && tar -I \"$F\" -tf a.tar.tarvel | "
       "sort\n"
       "bsdtar --use-compress-program \"$F\" -cf b.tar.tarvel d; $F -d < b.tar.tarvel > b.tar\n"
       "$T b.tar b.tv > /dev/null; cmp b.tar.tarvel b.tv && mkdir y\n"
       "bsdtar --use-compress-program \"$F -d\" -xf b.tar.tarvel -C y && diff -r d y/d && echo "
       "same",
       "d/\nd/in\nd/in.tv\nsame\n"},
      {"invalid data, a cut stream, a closed reader both ways, a terminal both ways",
       "head -c 5 in.tv | $F -d 2>&1 > /dev/null; echo $?; head -c -1 in.tv | $F -d 2>&1 > o\n"
       "echo $?; $F -d < in.tv 2>&1 | head -c 10 > /dev/null; $F < in 2>&1 | head -c 10 > o\n"
       "echo ${PIPESTATUS[0]}; script -qec \"$F < in\" /dev/null | tr -d '\\r'\n"
       "script -qec \"$F -d > o\" /dev/null | tr -d '\\r'; echo ${PIPESTATUS[0]}",
       "error : 'stdin' is not a valid tarvel file: the header is truncated.\n1\n"
       "error : 'stdin' is not a valid tarvel file: the payload ends inside a code.\n1\n1\n"
       "error : compressed data not written to a terminal.\n"
       "error : compressed data not read from a terminal.\n1\n"},
      {"no names, --help and --version, short options grouped as gzip takes them",
       "$F in 2>&1; echo $?; $F --help | head -1; $F --version | cut -d' ' -f1\n"
       "$F -dc < in.tv | cmp - in && $F -c < in | cmp - in.tv && $F -cq 2>&1",
       "usage: tarvel-filter [-d] < in > out\n1\nusage: tarvel-filter [-d] < in > out\n"
       "tarvel-filter\nerror : unknown option '-cq'.\n"},
  });
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
      {"standard output and error into one file or pipe: the report is left out",
       "$U in.tv /dev/stdout > out 2>&1; echo $?; cmp out in && $T in /dev/stdout > x.tv 2>&1\n"
       "echo $?; cmp x.tv in.tv && $U in.tv /dev/stdout 2>&1 | cmp - in && echo same",
       "0\n0\nsame\n"},
      {"/dev/stdout into a pipe, /dev/fd/3 into a file",
       "$T in /dev/stdout 2> /dev/null | cat > a; $T in /dev/fd/3 3> b > /dev/null\n"
       "cmp a in.tv && cmp b in.tv && echo same",
       "same\n"},
      {"a name too long for a temporary name beside it: made at the end, kept on failure",
       "n=$(printf '%0250d' 0); $T in $n > /dev/null; echo $?; cmp $n in.tv && ls | wc -l\n"
       "head -c 100 in.tv > t.tv; $U -f t.tv $n 2> /dev/null; echo $?; cmp $n in.tv && echo kept\n"
       "rm $n; $U t.tv $n 2> /dev/null; echo $?; ls | wc -l",
       "0\n3\n1\nkept\n1\n3\n"},
      {"zero blocks are restored as holes into files, as bytes elsewhere",
       "truncate -s 64M z; printf x >> z; truncate -s 1M t; printf '\\0' > one\n"
       "for f in z t one; do $T $f $f.tv > /dev/null; $U $f.tv $f.back > /dev/null; done\n"
       "cmp z z.back && cmp t t.back && cmp one one.back && stat -c %b t.back\n"
       "[ $(stat -c %b z.back) -le 64 ] && echo sparse; $U z.tv /dev/stdout 2> /dev/null | cmp - z",
       "0\nsparse\n"},
      {"a file with another hard link keeps it, and a failed run leaves both names as they were",
       "echo old > out; ln out other; $T in out > /dev/null; cmp other in.tv && stat -c %h out\n"
       "head -c 100000 in.tv > t.tv; $U -f t.tv out 2> /dev/null; echo $?\n"
       "(ulimit -f 100; $U -f in.tv out 2>&1); echo $?; cmp out in.tv && cmp other in.tv && ls",
       "2\n1\nerror : disk full while writing data.\n1\nin\nin.tv\nother\nout\nt.tv\n"},
      {"two runs at once give one whole output, never a mixture",
       "head -c 3000000 /dev/urandom > r; $T r r.tv > /dev/null\n"
       "for k in 1 2 3 4; do $T in same > /dev/null & $T r same > /dev/null & wait\n"
       "  cmp -s same in.tv || cmp -s same r.tv || echo mixed; done; ls\n"
       "ln same other; for k in 1 2 3; do for j in 1 2 3 4; do $T in same > /dev/null &\n"
       "  $T r same > /dev/null & done; wait; cmp -s other in.tv || cmp -s other r.tv || echo "
       "mixed\n"
       "done; stat -c %h other",
       "in\nin.tv\nr\nr.tv\nsame\n2\n"},
      {"no descriptor or no room for a temporary file: the output stays as it was",
       "head -c 1000 /dev/urandom > g.tv; echo precious > out\n"
       "for n in 5 6; do (ulimit -n $n; $U -f g.tv out 2>&1); done; cat out\n"
       "mkdir m; mount -t tmpfs -o size=1m,nr_inodes=2 tmpfs m 2> /dev/null || { echo skipped; "
       "exit; }\n"
       "head -c 400000 in > m/out; cp m/out old; $T in m/out 2>&1; echo $?; cmp m/out old && ls m\n"
       "umount m",
       "error : unable to open file 'out' for output.\nerror : unable to open file 'out' for "
       "output.\nprecious\nerror : disk full while writing data.\n1\nout\n",
       true, true},
      {"a pipe's copy never takes the last thirty-second of $TMPDIR, nor an endless input all",
       "mkdir m; mount -t tmpfs -o size=8m tmpfs m 2> /dev/null || { echo skipped; exit; }\n"
       "head -c 8000000 in | TMPDIR=m $T /dev/stdin a > /dev/null; echo $?\n"
       "head -c 8200000 /dev/zero | TMPDIR=m $T /dev/stdin b 2>&1; TMPDIR=m $T /dev/zero c 2>&1\n"
       "ls; umount m",
       "0\nerror : unable to keep a temporary copy of input file '/dev/stdin'.\n"
       "error : unable to keep a temporary copy of input file '/dev/zero'.\na\nin\nin.tv\nm\n",
       true},
      {"a folder without write permission: an existing output copied over, kept on failure",
       kAsNobody + "echo old > sub/out; chmod 666 sub/out; chmod 555 sub\n"
                   "$N $T in sub/out > /dev/null; echo $?; cmp sub/out in.tv && ls sub\n"
                   "head -c 100 in.tv > t.tv; $N $U -f t.tv sub/out 2> /dev/null; echo $?\n"
                   "cmp sub/out in.tv && $N $T in sub/new 2>&1; ls sub",
       "0\nout\n1\nerror : unable to open file 'sub/new' for output.\nout\n", true},
      {"a folder that may be written but not read",
       kAsNobody + "echo old > sub/out; chmod 666 sub/out; chmod 333 sub\n"
                   "$N $T in sub/out > /dev/null; echo $?; cmp sub/out in.tv && echo same\n"
                   "$N $T in sub/new 2>&1 > /dev/null; echo $?",
#if defined(TARVEL_PORTABLE)
       // Opening the folder needs read permission: the existing output is
       // copied over, a new one cannot be made beside.
       "0\nsame\nerror : unable to open file 'sub/new' for output.\n1\n",
#else
       "0\nsame\n0\n",
#endif
       true},
      {"an existing output the user may not write is refused",
       kAsNobody + "echo old > sub/out; $N $T in sub/out 2>&1; echo $?; cat sub/out",
       "error : unable to open file 'sub/out' for output.\n1\nold\n", true},
      {"a sticky folder forbids the rename: nothing is left but the old file",
       kAsNobody + "chmod 1777 sub; echo old > sub/out; chmod 666 sub/out\n"
                   "$N $U -f in.tv sub/out 2>&1; echo $?; cat sub/out; ls sub",
       "error : unable to replace output file 'sub/out'.\n1\nold\nout\n", true},
  });
}

TEST(CliOutputTest, SignalsAndDescriptorsNeverCutARunShort) {
  // The run reads a FIFO, which holds it (its temporary file made) until the
  // script has acted and then writes the data or closes the FIFO.
  const std::string held =
      "echo old > out; mkfifo f\n"
      "waitfor() { while ! ls ${2:-out}.tv-* > /dev/null 2>&1 && kill -0 $1 2> /dev/null; do :; "
      "done; }\n";
  RunCases({
      {"an interrupted run leaves the old output and no temporary file",
       held + "set -m; $T f out > /dev/null & p=$!; exec 3> f; waitfor $p; kill -INT $p; wait $p\n"
              "echo $?; $U -f f out > /dev/null & p=$!; exec 3> f; waitfor $p; kill -TERM $p\n"
              "wait $p; echo $?; exec 3>&-; cat out; ls",
       "130\n143\nold\nf\nin\nin.tv\nout\n"},
      {"a folder renamed during the run: the rename fails, the temporary file goes",
       held + "mkdir sub; $U f sub/out 2>&1 > /dev/null & p=$!; exec 3> f; waitfor $p sub/out\n"
              "mv sub moved; cat in.tv >&3; exec 3>&-; wait $p; echo $?; ls moved",
       "error : unable to replace output file 'sub/out'.\n1\n"},
      {"a folder renamed during the run, then a signal: the temporary file goes all the same",
       held + "mkdir sub; $U f sub/out > /dev/null & p=$!; exec 3> f; waitfor $p sub/out\n"
              "mv sub moved; kill -TERM $p; wait $p; echo $?; exec 3>&-; ls moved",
       "143\n"},
      {"a hang-up ignored at the start stays ignored",
       held + "trap '' HUP; $U -f f out > /dev/null & p=$!; exec 3> f; waitfor $p; kill -HUP $p\n"
              "cat in.tv >&3; exec 3>&-; wait $p; echo $?; cmp -s out in && echo restored",
       "0\nrestored\n"},
      {"a closed pipe after the data: the report's failure is ignored",
       "$T in out | true; echo ${PIPESTATUS[0]}; cmp out in.tv && echo whole", "0\nwhole\n"},
      {"a closed pipe during the data: status 1 and no message",
       "$U in.tv /dev/stdout 2> err | head -c 10 > /dev/null; echo ${PIPESTATUS[0]}; cat err",
       "1\n"},
      {"a file size limit: the disk-full message and nothing left",
       "ulimit -f 64; $T in out 2>&1; echo $?; $U -f in.tv out 2>&1; echo $?; ls",
       "error : disk full while writing data.\n1\nerror : disk full while writing data.\n1\n"
       "in\nin.tv\n"},
      {"closed standard descriptors take nothing of the output",
       "$T in out <&- >&- 2>&-; echo $?; $U out back <&- >&- 2>&-; echo $?\n"
       "cmp out in.tv && cmp back in && echo same",
       "0\n0\nsame\n"},
      {"an output descriptor open only for reading, or closed at the start, is refused",
       "$T in /dev/fd/3 3< in.tv 2>&1; echo $?; $U in.tv /dev/stdout 2> err >&-; echo $?; cat err",
       "error : unable to open file '/dev/fd/3' for output.\n1\n1\n"
       "error : unable to open file '/dev/stdout' for output.\n"},
      {"memory or threads running short: the whole output, or the out-of-memory message and "
       "nothing left",
       "head -c 10000000 /dev/urandom > r; $T r r.tv > /dev/null\n"
       "check() { if [ $1 = 0 ]; then cmp -s $2 $3 || echo \"$4 wrong\"; rm -f $2\n"
       "  elif [ $1 != 1 ] || [ \"$(cat err)\" != 'error : not enough memory.' ] || [ -e $2 ]; "
       "then\n"
       "    echo \"$4: $1 $(cat err)\"; fi; }\n"
       "for v in 8 10 12 14 16 20 24 32 48; do\n"
       "  (ulimit -v $((v * 1000)); $T r out > /dev/null 2> err); check $? out r.tv \"tarvel $v\"\n"
       "  (ulimit -v $((v * 1000)); $U -f r.tv out > /dev/null 2> err); check $? out r \"untarvel "
       "$v\"\n"
       "done; ls",
       "err\nin\nin.tv\nr\nr.tv\n", false, true},
      {"no thread can be started: the run goes on with its own",
       "c=/sys/fs/cgroup/pids/tarvel-test-$$\n"
       "mkdir $c 2> /dev/null && echo 1 > $c/pids.max || { echo skipped; exit; }\n"
       "head -c 3000000 /dev/urandom > r; $T r r.tv > /dev/null\n"
       "sh -c \"echo \\$\\$ > $c/cgroup.procs; exec $T r out\" > /dev/null; echo $?\n"
       "sh -c \"echo \\$\\$ > $c/cgroup.procs; exec $U out back\" > /dev/null; echo $?\n"
       "rmdir $c; cmp out r.tv && cmp back r && ls",
       "0\n0\nback\nin\nin.tv\nout\nr\nr.tv\n", true, true},
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
