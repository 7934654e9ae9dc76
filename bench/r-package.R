# The R package's speed targets, measured against R's own fisher.test and against the
# benchmark program (quillon-bench) on the same computations. Run with the package
# installed, from the repository's top folder:
#
#   Rscript bench/r-package.R [path of quillon-bench]
#
# Targets: analyse_2x2 over 100,000 tables given as vectors at least ten times faster per
# table than fisher.test called on each; a study called from R at most 10% slower than the
# benchmark program's run of the same study (comparative trial N = 1000 size, one thread;
# cross-sectional N = 60 maximum, one thread, its files written as the program writes them).
library(quillon)

args <- commandArgs(trailingOnly = TRUE)
bench <- if (length(args) > 0) args[1] else "build/bench/quillon-bench"

best_of <- function(times, f) min(replicate(times, system.time(f())[["elapsed"]]))

set.seed(20)
count <- 100000
a <- rbinom(count, 40, .3) + 1
b <- rbinom(count, 40, .5) + 1
c <- rbinom(count, 40, .4) + 1
d <- rbinom(count, 40, .6) + 1
ours <- best_of(3, function() analyse_2x2(a, b, c, d, tests = 1:7))
sample_size <- 2000
theirs <- system.time(for (i in seq_len(sample_size))
  fisher.test(matrix(c(a[i], c[i], b[i], d[i]), 2)))[["elapsed"]] * count / sample_size
cat(sprintf("analyse_2x2, 100000 tables, tests 1 - 7: %.2f s (%.1f us a table)\n", ours,
            ours / count * 1e6))
cat(sprintf("fisher.test on each (from %d tables):   %.2f s (%.1f us a table)\n", sample_size,
            theirs, theirs / count * 1e6))
cat(sprintf("  ratio %.1f (target >= 10: %s)\n", theirs / ours,
            if (theirs / ours >= 10) "met" else "MISSED"))

# The best of three runs of the benchmark program's case, as R's side takes its best of three.
program_seconds <- function(case, label) {
  if (!file.exists(bench)) return(NA)
  min(replicate(3, {
    out <- system2(bench, case, stdout = TRUE)
    line <- grep(label, out, value = TRUE, fixed = TRUE)[1]
    as.numeric(sub(" s$", "", regmatches(line, regexpr("[0-9.]+ s", line))))
  }))
}

compare <- function(label, from_r, case, case_label) {
  program <- program_seconds(case, case_label)
  cat(sprintf("%s: R %.3f s, benchmark program %.3f s (%+.1f%%; target <= +10%%: %s)\n",
              label, from_r, program, 100 * (from_r / program - 1),
              if (!is.na(program) && from_r <= 1.1 * program) "met" else "MISSED"))
}

ct <- best_of(3, function() size_2x2(n = 1000, row1 = 500, pcol = .3, tests = "1 - 7",
                                      threads = 1))
compare("size, comparative trial N = 1000, tests 1 - 7, one thread", ct,
        "particular-target-ct1000", "one point")
cs <- best_of(3, function() max_size_2x2(n = 60, design = "cs", tests = 1, accuracy = .001,
                                         threads = 1, data_dir = tempfile("quillon-bench")))
compare("maximum, cross-sectional N = 60, test 1, one thread", cs, "maxima-cs60",
        "one thread")
