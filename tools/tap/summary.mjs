// SPDX-License-Identifier: GPL-3.0-or-later
//
// Reads TAP on standard input with npm's tap-parser and prints what it understood as JSON: the
// top-level test points (name, ok, the diagnostics of their YAML blocks) and the subtests'
// points, and every parse error. The tests compare this with what orb-grade meant.
import { Parser } from 'tap-parser';

const points = [];
const errors = [];
const parser = new Parser({ strict: true }, (results) => {
  for (const failure of results.failures) {
    if (failure.tapError)
      errors.push(failure.tapError);
  }
  process.stdout.write(JSON.stringify({
    ok: results.ok, plan: results.plan.end, count: results.count, pass: results.pass,
    fail: results.fail, points, errors }) + '\n');
});
parser.on('assert', (point) => {
  points.push({ name: point.name, ok: point.ok, diag: point.diag ?? null, subtest: [] });
});
parser.on('child', (child) => {
  const subtest = [];
  child.on('assert', (point) => {
    subtest.push({ name: point.name, ok: point.ok, diag: point.diag ?? null });
  });
  child.on('complete', () => {
    // The subtest ends before its test point arrives.
    pendingSubtests.push(subtest);
  });
});
const pendingSubtests = [];
parser.on('assert', (point) => {
  points[points.length - 1].subtest = pendingSubtests.shift() ?? [];
});
process.stdin.pipe(parser);
