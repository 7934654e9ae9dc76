# The studies called from R against the command line's records of the same runs and
# against R's own enumeration.

# The command line's summary files give seven significant figures.
record_tolerance <- 1e-6
# The program's table probabilities are ExpBase = 2.718281828 (not e) raised to their
# logarithms, relatively 1.7e-10 |ln t| from R's dbinom for a table of probability t; the
# sums are over tables of these designs with |ln t| below 60.
expbase_tolerance <- 1.7e-10 * 60

test_that("the particular study gives the command line's summary records", {
  # quillon-cli particular --n 20,30 --tests 1,5 --pcol .3
  s <- size_2x2(n = c(20, 30), pcol = .3, tests = c(1, 5))
  expect_equal(s$n, c(20, 20, 30, 30))
  expect_equal(s$row1, c(10, 10, 15, 15))
  expect_equal(s$test, c(1, 5, 1, 5))
  expect_equal(s$prop_sig, c(.03711331, .01187688, .05477033, .01697320),
               tolerance = record_tolerance)
  expect_equal(s$upper_bound, s$prop_sig)
  expect_equal(s$max_dif, c(.01176660, 0, .008405408, 0), tolerance = record_tolerance)
  # quillon-cli particular --n 15 --design cs --prow .4 --pcol .2 --interval .05 --tests 3
  cs <- size_2x2(n = 15, design = "cs", row1 = .4, pcol = .2, interval = .05, tests = 3)
  expect_equal(cs$design, "cs")
  expect_equal(cs$prop_sig, .03763467, tolerance = record_tolerance)
  expect_equal(cs$upper_bound, .05329165, tolerance = record_tolerance)
})

test_that("the size of test 5 is R's enumeration with fisher.test", {
  m <- 10; n <- 12; p <- .35
  reference <- 0
  for (a in 0:m) for (c in 0:n) {
    if (a + c == 0 || a + c == m + n) next
    if (fisher.test(matrix(c(a, c, m - a, n - c), 2))$p.value <= .05)
      reference <- reference + dbinom(a, m, p) * dbinom(c, n, p)
  }
  s <- size_2x2(n = m + n, row1 = m, pcol = p, tests = 5)
  expect_equal(s$prop_sig, reference, tolerance = expbase_tolerance)
})

test_that("the maximum study gives the command line's summary records", {
  # quillon-cli maximum --n 20 --tests 1,5 --accuracy .01
  ct <- max_size_2x2(n = 20, tests = c(1, 5), accuracy = .01)
  expect_equal(ct$maximum, c(.04219055, .01277924), tolerance = record_tolerance)
  expect_equal(ct$pcol, c(.5, .5))
  expect_equal(ct$m, c(10, 10))
  expect_true(all(is.na(ct$prow)))
  expect_equal(ct$property, c("size", "size"))
  # quillon-cli maximum --n 12 --design cs --accuracy .01
  cs <- max_size_2x2(n = 12, design = "cs", accuracy = .01)
  expect_equal(cs$maximum, .05848956, tolerance = record_tolerance)
  expect_equal(c(cs$pcol, cs$prow), c(.5, .5), tolerance = record_tolerance)
  expect_true(is.na(cs$m))
})

test_that("exact power is the published value and R's enumeration", {
  # pwrss's power of the Fisher-Irwin test for .6 against .4, 50 in each group:
  # .462100133; the command line's record: .4621001.
  # The published figure is R's exact arithmetic; the program's table probabilities differ
  # from it by ExpBase, relatively 1.7e-10 |ln t| with |ln t| up to about 120 here.
  published <- .462100133
  published_tolerance <- 1.7e-10 * 120
  pw <- power_2x2(n = 100, p1 = .6, p2 = .4, row1 = 50, tests = c(1, 5))
  expect_equal(pw$power[pw$test == 5], published, tolerance = published_tolerance)
  expect_equal(pw$power, c(.5433398, .4621001), tolerance = record_tolerance)
  expect_equal(pw$size, c(.05688908, .03520200), tolerance = record_tolerance)
  expect_equal(pw$p0, c(.5, .5))
  # A smaller design enumerated in R with fisher.test.
  small <- power_2x2(n = 24, p1 = .7, p2 = .2, row1 = 12, tests = 5)
  expect_equal(small$power, fisher_power(12, 12, .7, .2), tolerance = expbase_tolerance)
})

test_that("sample sizes are the command line's", {
  # quillon-cli power --n 40to120step4 --p1 .3 --p2 .6 --tests 5
  ss <- sample_size_2x2(n = "40 to 120 step 4", p1 = .3, p2 = .6, tests = 5)
  expect_equal(nrow(ss), 1)
  expect_equal(c(ss$first_n, ss$stable_n), c(96, 96))
  expect_equal(ss$best_n, 120)
  expect_equal(ss$best_power, .8937434, tolerance = record_tolerance)
  unreached <- sample_size_2x2(n = c(10, 12), p1 = .3, p2 = .6, tests = 5)
  expect_true(is.na(unreached$first_n))
  expect_error(sample_size_2x2(n = 40, p1 = .3, p2 = .6), "several total numbers")
})

test_that("refused values are R errors with the program's messages", {
  expect_error(size_2x2(n = 3), paste("The value  3 for variable 'Total number' is less than",
                                      "the minimum value allowed of 4."), fixed = TRUE)
  expect_error(size_2x2(n = 20, tests = 12),
               "The value 12 for variable 'Test(s)' is greater than the maximum", fixed = TRUE)
  expect_error(size_2x2(n = "20abc"), "cannot be read", fixed = TRUE)
  expect_error(max_size_2x2(n = 20, row1 = .7),
               "For 'Pop. prop. / number in row 1', you must enter a decimal up to 0.5",
               fixed = TRUE)
  expect_error(power_2x2(n = 20, p1 = 1.5, p2 = .5),
               "The value 1.5 for variable 'Proportion in column 1, row 1' is greater than",
               fixed = TRUE)
  expect_error(size_2x2(n = 20, design = "xx"), "should be one of")
  expect_error(size_2x2(n = 20, threads = -1), "threads")
  expect_error(size_2x2(n = 20, alpha = c(.05, .01)), "single value")
  expect_error(size_2x2(n = NA), "numbers or a single text")
})

test_that("nothing is written without a data folder, and with one the summary grows", {
  home <- tempfile("xdg")
  dir.create(home)
  old <- Sys.getenv("XDG_DATA_HOME")
  Sys.setenv(XDG_DATA_HOME = home)
  on.exit(Sys.setenv(XDG_DATA_HOME = old), add = TRUE)
  before <- list.files(tempdir())
  size_2x2(n = 10)
  power_2x2(n = 10, p1 = .2, p2 = .6)
  max_size_2x2(n = 8, accuracy = .01)
  expect_length(list.files(home, recursive = TRUE, all.files = TRUE), 0)
  expect_setequal(list.files(tempdir()), before)

  folder <- file.path(tempfile("quillon-data"))
  size_2x2(n = 10, data_dir = folder)
  size_2x2(n = c(10, 12), data_dir = folder)
  lines <- readLines(file.path(folder, "ParticularSummary.txt"))
  expect_length(lines, 4)
  expect_match(lines[1], "^Date\tMethod\tN")
  expect_true(file.exists(file.path(folder, "ParticularResults.txt")))
})

test_that("threads change nothing in the results", {
  expect_identical(size_2x2(n = 30, pcol = c(.2, .4), tests = 1:7, threads = 2),
                   size_2x2(n = 30, pcol = c(.2, .4), tests = 1:7, threads = 1))
  expect_identical(max_size_2x2(n = 14, design = "cs", accuracy = .01, threads = 2),
                   max_size_2x2(n = 14, design = "cs", accuracy = .01, threads = 1))
})

test_that("lists are numbers or the program's own list texts", {
  expect_equal(size_2x2(n = "10 to 20 step 5")$n, c(10, 15, 20))
  expect_equal(size_2x2(n = c(12, 10), men = c(0, 1))$men, c(0, 1, 0, 1))
  expect_equal(unique(max_size_2x2(n = 8, row1 = "all", accuracy = .01)$m), 1:4)
})

test_that("the exact unconditional tests are taken by the studies", {
  # Their P values are the largest over the nuisance proportion, so in a comparative trial
  # their actual Type I error never exceeds alpha at any proportion.
  s <- size_2x2(n = 20, pcol = c(.2, .5), tests = 8:9)
  expect_equal(s$test, c(8, 9, 8, 9))
  expect_true(all(s$prop_sig <= .05))
  expect_equal(s$test_name[1], "Exact unconditional test, chi squared ordering")
  pw <- power_2x2(n = 30, p1 = .2, p2 = .7, row1 = 15, tests = c(5, 9))
  expect_true(all(pw$size <= .05))
})
