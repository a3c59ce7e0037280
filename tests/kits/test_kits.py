#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
#
# The learning-platform kits of lms/, each run as its platform runs it, on a right and a wrong
# answer (and what a platform also meets: no answer, an unreadable one), with the platform's
# own reading of the result checked:
#   classroom   the workflow's grading step as a runner runs it; the result decoded
#   coderunner  the template as Twig fills it and Jobe runs it, under `ulimit -v 1000000`
#   vpl         vpl_evaluate.sh, then the vpl_execution it wrote
#   gradescope  the autograder zip unpacked into a minimal Debian system (--root) and run with
#               bubblewrap, /autograder/{source,submission,results} bound in; results.json
#               validated against the schema written from Gradescope's documentation
import argparse
import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

# Three cases worth 4 points: the right answer adds, the wrong one multiplies, which only
# the case "zero" cannot tell apart.
TESTS = """# the sum of two bytes
case sum
 set M00=25 M01=17
 expect end=success M02=3C
 points 2
case carry
 set M00=FF M01=01
 expect M02=00
case zero
 set M00=00 M01=00
 expect M02=00
"""
MAX_POINTS = 4
ANSWERS = {"right": ("01-add-two-bytes.orb", 4), "wrong": ("02-multiply-shift-and-add.orb", 1)}


class Kits:
    def __init__(self, args):
        self.args = args
        self.source = os.path.abspath(args.source)
        self.build = os.path.abspath(args.build)
        self.scratch = tempfile.mkdtemp(prefix="orb-kits.")
        self.failures = []
        # orb-grade as a platform's machine has it: on the PATH.
        self.bin = os.path.join(self.scratch, "bin")
        os.mkdir(self.bin)
        os.symlink(os.path.join(self.build, "grade", "orb-grade"),
                   os.path.join(self.bin, "orb-grade"))
        self.env = {"PATH": self.bin + ":/usr/bin:/bin", "LANG": "C.UTF-8",
                    "HOME": self.scratch}

    def check(self, condition, what):
        if not condition:
            self.failures.append(what)
            print("FAIL:", what, file=sys.stderr)

    def kit(self, *path):
        return os.path.join(self.source, "lms", *path)

    def answer(self, kind):
        return os.path.join(self.source, "examples", ANSWERS[kind][0])

    def folder(self, name, files):
        """A fresh folder holding `files` (name -> bytes)."""
        path = os.path.join(self.scratch, name)
        os.makedirs(path)
        for file, data in files.items():
            with open(os.path.join(path, file), "wb") as out:
                out.write(data)
        return path

    # --- GitHub Classroom ------------------------------------------------------------------
    def classroom(self):
        import yaml  # Debian's python3-yaml

        with open(self.kit("classroom", "classroom.yml"), encoding="utf-8") as f:
            workflow = yaml.safe_load(f)
        version = re.search(r"project\(orb VERSION ([0-9.]+)",
                            open(os.path.join(self.source, "CMakeLists.txt")).read()).group(1)
        self.check(workflow["env"]["ORB_VERSION"] == version,
                   "classroom: the workflow fetches ORB %s, not %s"
                   % (workflow["env"]["ORB_VERSION"], version))
        steps = workflow["jobs"]["run-autograding-tests"]["steps"]
        grading = next(step for step in steps if step.get("id") == "orb")
        reporter = steps[-1]
        self.check(reporter["uses"].startswith("classroom-resources/autograding-grading-reporter@")
                   and reporter["with"]["runners"] == "orb"
                   and reporter["env"]["ORB_RESULTS"] == "${{ steps.orb.outputs.result }}",
                   "classroom: the reporter does not read the orb step's result: %r" % reporter)
        for kind, (example, points) in ANSWERS.items():
            work = self.folder("classroom-" + kind, {})
            os.makedirs(os.path.join(work, ".github", "orb"))
            with open(os.path.join(work, ".github", "orb", "tests.orbtest"), "w") as f:
                f.write(TESTS)
            shutil.copy(self.answer(kind), os.path.join(work, workflow["env"]["ORB_DOCUMENT"]))
            os.makedirs(os.path.join(work, "orb"))
            os.symlink(self.bin, os.path.join(work, "orb", "bin"))
            output = os.path.join(work, "github-output")
            env = dict(self.env, GITHUB_OUTPUT=output, **workflow["env"])
            # As a runner runs a step: bash -e with the step's script.
            run = subprocess.run(["bash", "-e", "-c", grading["run"]], cwd=work, env=env,
                                 capture_output=True, text=True)
            self.check(run.returncode == 0, "classroom %s: the step failed: %s" % (kind, run.stderr))
            lines = open(output).read().splitlines() if os.path.exists(output) else []
            self.check(len(lines) == 1 and lines[0].startswith("result="),
                       "classroom %s: $GITHUB_OUTPUT holds %r" % (kind, lines))
            try:
                result = json.loads(base64.b64decode(lines[0][len("result="):], validate=True))
            except (IndexError, ValueError) as error:
                self.check(False, "classroom %s: the result is no base64 JSON: %s" % (kind, error))
                continue
            tests = result.get("tests", [])
            self.check(isinstance(result.get("version"), int)
                       and result.get("max_score") == MAX_POINTS
                       and result.get("status") == ("pass" if kind == "right" else "fail")
                       and [t.get("name") for t in tests] == ["sum", "carry", "zero"]
                       and sum(t.get("score", 0) for t in tests) == points
                       and all(t.get("status") in ("pass", "fail", "error")
                               and isinstance(t.get("message", ""), str) for t in tests),
                       "classroom %s: the result is %r" % (kind, result))

    # --- Moodle CodeRunner -----------------------------------------------------------------
    def coderunner(self):
        template = open(self.kit("coderunner", "template.py"), encoding="utf-8").read()

        def twig(answer, attachments=""):
            # CodeRunner's py escaper: backslashes and quotes get a backslash.
            escape = lambda text: re.sub(r"([\\'\"])", r"\\\1", text)
            return (template.replace("{{ STUDENT_ANSWER | e('py') }}", escape(answer))
                    .replace("{{ ATTACHMENTS | e('py') }}", escape(attachments)))

        def run(name, program, files):
            work = self.folder("coderunner-" + name, dict(files, **{
                "tests.orbtest": TESTS.encode(), "__tester__.python3": program.encode()}))
            # As Jobe runs it: an address-space limit, standard input closed.
            return subprocess.run(["bash", "-c", "ulimit -v 1000000 && exec python3 __tester__.python3"],
                                  cwd=work, env=self.env, stdin=subprocess.DEVNULL,
                                  capture_output=True, text=True)

        cases = {kind: (twig(open(self.answer(kind), encoding="cp1251").read()), {}, points)
                 for kind, (example, points) in ANSWERS.items()}
        # A .orb file attached instead of pasted text.
        cases["attached"] = (twig("", "lab.orb"), {"lab.orb": open(self.answer("right"), "rb").read()}, 4)
        cases["empty"] = (twig(""), {}, 0)
        for name, (program, files, points) in cases.items():
            result = run(name, program, files)
            self.check(result.stderr == "", "coderunner %s: standard error: %r" % (name, result.stderr))
            try:
                outcome = json.loads(result.stdout)
            except ValueError:
                self.check(False, "coderunner %s: no JSON: %r" % (name, result.stdout))
                continue
            self.check(abs(outcome.get("fraction", -1) - points / MAX_POINTS) < 1e-9,
                       "coderunner %s: fraction %r, not %r" % (name, outcome.get("fraction"),
                                                               points / MAX_POINTS))
            rows = outcome.get("testresults")
            if name in ANSWERS:
                # A header row, then one row per case, each with its tick.
                self.check(isinstance(rows, list) and len(rows) == 4 and "iscorrect" in rows[0]
                           and [r[rows[0].index("iscorrect")] for r in rows[1:]].count(1)
                           == (3 if name == "right" else 1),
                           "coderunner %s: testresults %r" % (name, rows))
            else:
                self.check(bool(outcome.get("epiloguehtml") or outcome.get("prologuehtml")),
                           "coderunner %s: nothing tells the student why: %r" % (name, outcome))

    # --- Moodle VPL ------------------------------------------------------------------------
    def vpl(self):
        evaluate = open(self.kit("vpl", "vpl_evaluate.sh"), "rb").read()
        cases = {kind: ({"student.orb": open(self.answer(kind), "rb").read()}, points)
                 for kind, (example, points) in ANSWERS.items()}
        cases["empty"] = ({}, 0)
        for name, (files, points) in cases.items():
            work = self.folder("vpl-" + name, dict(files, **{"vpl_evaluate.sh": evaluate,
                                                             "tests.orbtest": TESTS.encode()}))
            env = dict(self.env, VPL_GRADEMIN="0", VPL_GRADEMAX="10",
                       VPL_SUBFILES=" ".join(files))
            prepared = subprocess.run(["bash", "vpl_evaluate.sh"], cwd=work, env=env,
                                      capture_output=True, text=True)
            execution = os.path.join(work, "vpl_execution")
            self.check(prepared.returncode == 0 and os.access(execution, os.X_OK),
                       "vpl %s: no vpl_execution: %s" % (name, prepared.stderr))
            if not os.access(execution, os.X_OK):
                continue
            # VPL runs it in the same folder, the grade range no longer in the environment.
            run = subprocess.run([execution], cwd=work, env=self.env, capture_output=True,
                                 text=True)
            lines = run.stdout.splitlines()
            grades = [line for line in lines if line.startswith("Grade :=>>")]
            expected = 10 * points / MAX_POINTS
            self.check(grades and abs(float(grades[-1].split(">>", 1)[1]) - expected) < 0.01,
                       "vpl %s: grade lines %r, expected %s" % (name, grades, expected))
            # Every other line is a comment: inside <|-- … --|>, or a "Comment :=>>" line.
            inside = False
            for line in lines:
                if line == "<|--" and not inside:
                    inside = True
                elif line == "--|>" and inside:
                    inside = False
                elif not inside and not re.match(r"(Grade|Comment) :=>>", line):
                    self.check(False, "vpl %s: a line outside the comments: %r" % (name, line))
            self.check(not inside, "vpl %s: a comment block is not closed" % name)

    # --- Gradescope ------------------------------------------------------------------------
    def gradescope(self):
        import jsonschema

        root = os.path.abspath(self.args.root)
        kit = os.path.join(self.scratch, "autograder.zip")
        tests = os.path.join(self.scratch, "tests.orbtest")
        with open(tests, "w") as f:
            f.write(TESTS)
        subprocess.run([sys.executable, self.kit("gradescope", "make_kit.py"), kit,
                        self.args.bundle, tests], check=True, stdout=subprocess.DEVNULL)
        source = os.path.join(self.scratch, "gradescope-source")
        with zipfile.ZipFile(kit) as archive:
            names = archive.namelist()
            self.check({"setup.sh", "run_autograder"} <= set(names),
                       "gradescope: the zip's root lacks setup.sh or run_autograder: %r" % names)
            for info in archive.infolist():
                archive.extract(info, source)
                os.chmod(os.path.join(source, info.filename), (info.external_attr >> 16) & 0o777)
        schema = json.load(open(self.kit("gradescope", "results.schema.json")))

        def bwrap(binds, command, network=True):
            arguments = ["bwrap", "--bind", root, "/", "--proc", "/proc", "--dev", "/dev",
                         "--tmpfs", "/tmp"]
            for outside, inside in binds:
                arguments += ["--bind", outside, inside]
            if not network:
                arguments.append("--unshare-net")
            arguments += ["--chdir", "/autograder", "--setenv", "PATH", "/usr/bin:/bin",
                          "--unsetenv", "PYTHONPATH"] + command
            return subprocess.run(arguments, capture_output=True, text=True)

        os.makedirs(os.path.join(root, "autograder"), exist_ok=True)
        setup = bwrap([(source, "/autograder/source")], ["bash", "/autograder/source/setup.sh"])
        self.check(setup.returncode == 0, "gradescope: setup.sh failed: %s%s"
                   % (setup.stdout, setup.stderr))
        garbage = bytes(range(256)) * 4
        submissions = {kind: ({"lab.orb": open(self.answer(kind), "rb").read()}, points)
                       for kind, (example, points) in ANSWERS.items()}
        submissions["empty"] = ({}, 0)
        submissions["unreadable"] = ({"lab.orb": garbage}, 0)
        for name, (files, points) in submissions.items():
            submission = self.folder("gradescope-%s/submission" % name, files)
            results = self.folder("gradescope-%s/results" % name, {})
            run = bwrap([(source, "/autograder/source"), (submission, "/autograder/submission"),
                         (results, "/autograder/results")],
                        ["/autograder/source/run_autograder"], network=False)
            self.check(run.returncode == 0, "gradescope %s: run_autograder: %s" % (name, run.stderr))
            path = os.path.join(results, "results.json")
            try:
                result = json.load(open(path, encoding="utf-8"))
                jsonschema.validate(result, schema)
            except (OSError, ValueError, jsonschema.ValidationError) as error:
                self.check(False, "gradescope %s: results.json: %s" % (name, error))
                continue
            score = result.get("score", sum(t.get("score", 0) for t in result.get("tests", [])))
            self.check(score == points, "gradescope %s: score %r, not %d" % (name, score, points))
            # The student is told why in Russian, whatever went wrong.
            texts = [result.get("output", "")] + [t.get("output", "") for t in result.get("tests", [])]
            self.check(name == "right" or any(re.search("[а-яА-Я]", text) for text in texts),
                       "gradescope %s: nothing in Russian tells the student why: %r" % (name, result))
        shutil.rmtree(os.path.join(root, "autograder"), ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kit", choices=["classroom", "coderunner", "vpl", "gradescope"])
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--root", help="gradescope: the minimal Debian system")
    parser.add_argument("--bundle", help="gradescope: the bundle's .tar.gz")
    args = parser.parse_args()
    kits = Kits(args)
    try:
        getattr(kits, args.kit)()
    finally:
        shutil.rmtree(kits.scratch, ignore_errors=True)
    if kits.failures:
        sys.exit("%d check(s) of the %s kit failed" % (len(kits.failures), args.kit))
    print("all checks of the %s kit passed" % args.kit)


if __name__ == "__main__":
    main()
