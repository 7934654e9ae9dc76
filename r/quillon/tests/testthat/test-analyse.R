# The analysis of tables against R's own chisq.test and fisher.test.

# Chi squared values are the same formula in R: only rounding differs.
statistic_tolerance <- 1e-12
# The program's P values of tests 1 to 3 come from its normal integral by the midpoint rule
# with step h = .01, whose tail areas are within about (h^2 / 24) z^2 of the exact ones,
# relatively: at most 5e-5 for the chi squared values up to 12 of this grid.
normal_integral_tolerance <- 1e-4
# The program raises ExpBase = 2.718281828 (not e) to the log probabilities, so each
# hypergeometric term t is R's t^(1 - 1.7e-10); no term of a table of total N is below
# 2^-N, so the P values are within 1.7e-10 N ln 2 of R's, relatively, besides the other
# order of the sums.
fisher_tolerance <- function(n) 1.7e-10 * n * log(2) + 1e-12
grid_total <- 10
# The effect sizes are found by root-finding to 1e-12 in the log odds ratio.
effect_tolerance <- 1e-8

grid <- table_grid(grid_total)

test_that("tests 1 and 2 are chisq.test without and with the continuity correction", {
  r <- analyse_2x2(grid$a, grid$b, grid$c, grid$d, tests = 1:2)
  pearson <- r[r$test == 1, ]
  yates <- r[r$test == 2, ]
  for (i in seq_len(nrow(grid))) {
    x <- matrix(c(grid$a[i], grid$c[i], grid$b[i], grid$d[i]), 2)
    p <- suppressWarnings(chisq.test(x, correct = FALSE))
    y <- suppressWarnings(chisq.test(x, correct = TRUE))
    expect_equal(pearson$statistic[i], unname(p$statistic), tolerance = statistic_tolerance)
    expect_equal(pearson$p_value[i], p$p.value, tolerance = normal_integral_tolerance)
    # Yates's correction: R corrects |ad - bc| / N by min(.5, itself), the program sets
    # the corrected difference Y = |ad - bc| - N / 2 to 0 when Y <= .5. They differ only
    # for tables with 0 < Y <= .5, where R's value is below 1 / (4 R1 R2 C1 C2 / N) and
    # the program's is 0.
    n <- sum(x)
    y_diff <- abs(grid$a[i] * grid$d[i] - grid$b[i] * grid$c[i]) - n / 2
    if (y_diff > 0 && y_diff <= .5) {
      expect_equal(yates$statistic[i], 0)
    } else {
      expect_equal(yates$statistic[i], unname(y$statistic), tolerance = statistic_tolerance)
      expect_equal(yates$p_value[i], y$p.value, tolerance = normal_integral_tolerance)
    }
  }
})

# Ties: the program counts a table as probable as the observed one when its factorial
# product is equal (decided in integers), fisher.test when its computed probability is at
# most 1 + 1e-7 times the observed. Exactly equal probabilities (the tables of symmetric
# margins, many on this grid) computed a few ulps apart count in both; a probability
# within 1e-7 of another without being equal would count only in fisher.test, but an R
# search of every margin up to N = 80 finds none (dhyper terms whose ratio lies between
# 1 + 1e-12 and 1 + 1e-7), so on this grid the two rules agree table for table.
test_that("test 5 is fisher.test's two-sided P value, ties decided exactly", {
  r <- analyse_2x2(grid$a, grid$b, grid$c, grid$d, tests = 5)
  for (i in seq_len(nrow(grid))) {
    x <- matrix(c(grid$a[i], grid$c[i], grid$b[i], grid$d[i]), 2)
    expect_equal(r$p_value[i], fisher.test(x)$p.value, tolerance = fisher_tolerance(sum(x)))
  }
})

test_that("a matrix is read as fisher.test reads it", {
  x <- matrix(c(10, 3, 2, 15), 2)
  from_matrix <- analyse_2x2(x, tests = 5)
  expect_equal(unlist(from_matrix[1, c("a", "b", "c", "d")]),
               c(a = 10, b = 2, c = 3, d = 15))
  expect_equal(from_matrix$p_value, fisher.test(x)$p.value, tolerance = fisher_tolerance(30))
})

test_that("one row per table and test, in the order asked", {
  r <- analyse_2x2(c(3, 7), c(9, 5), c(8, 6), c(2, 4), tests = c(5, 1, 3))
  expect_equal(r$test, c(5, 1, 3, 5, 1, 3))
  expect_equal(r$a, c(3, 3, 3, 7, 7, 7))
  expect_true(all(is.na(r$statistic[r$test == 5])))
  expect_false(anyNA(r$statistic[r$test != 5]))
  expect_equal(r$test_name[2], "Pearson chi squared test")
})

test_that("the recommended test follows the smallest expected number", {
  # Smallest expected numbers: 4 x 4 / 16 = 1 exactly, and 1 x 1 / 4 = .25.
  r <- analyse_2x2(c(2, 1), c(2, 0), c(2, 0), c(10, 3), tests = 1)
  expect_equal(r$smallest_expected, c(1, .25))
  expect_equal(r$recommended_test, c(3, 5))
})

test_that("the exact unconditional tests are tests 8 and 9", {
  # Exact: the table 1, 0, 0, 1 and its mirror are the most extreme by chi squared, so
  # P = max over p of 2 p (1 - p) = 1 / 2 (certified to a relative 1e-7); by the
  # Fisher-Irwin P value every table of the design is as extreme (each has P = 1).
  r <- analyse_2x2(1, 0, 0, 1, tests = 8:9)
  expect_equal(r$p_value, c(.5, 1), tolerance = 1e-7)
  expect_equal(r$test_name[1], "Exact unconditional test, chi squared ordering")
  # Beyond the total the unconditional tests take, the P value is missing.
  big <- analyse_2x2(6000, 10, 10, 6000, tests = c(5, 8))
  expect_false(is.na(big$p_value[1]))
  expect_true(is.na(big$p_value[2]))
})

test_that("effect sizes are fisher.test's estimate and interval", {
  tables <- list(c(10, 2, 3, 15), c(7, 5, 4, 9), c(1, 9, 8, 2), c(0, 5, 6, 4), c(12, 0, 3, 7))
  for (t in tables) {
    r <- analyse_2x2(t[1], t[2], t[3], t[4], tests = 5, effects = TRUE)
    ref <- conditional_odds_ratio(t[1], t[2], t[3], t[4])
    expect_equal(r$odds_ratio, unname(ref["estimate"]), tolerance = effect_tolerance)
    expect_equal(r$odds_ratio_lower, unname(ref["lower"]), tolerance = effect_tolerance)
    expect_equal(r$odds_ratio_upper, unname(ref["upper"]), tolerance = effect_tolerance)
    # The sample values are plain ratios.
    expect_equal(r$sample_odds_ratio, t[1] * t[4] / (t[2] * t[3]))
    expect_equal(r$risk_difference, t[1] / (t[1] + t[2]) - t[3] / (t[3] + t[4]))
  }
})

test_that("cells are corrected with the program's messages, bad tables refused", {
  said <- character()
  r <- withCallingHandlers(analyse_2x2(-3, 2, 4.5, 6, tests = 1), warning = function(w) {
    said <<- c(said, conditionMessage(w))
    invokeRestart("muffleWarning")
  })
  expect_length(said, 2)
  expect_match(said, "^The value +(-3|4.5) is invalid and will be replaced by +(3|4)$")
  expect_equal(unlist(r[1, c("a", "b", "c", "d")]), c(a = 3, b = 2, c = 4, d = 6))
  expect_error(analyse_2x2(0, 0, 3, 4), "A row total of 0 is invalid")
  expect_error(analyse_2x2(c(1, 0), c(1, 4), c(1, 0), c(1, 3)),
               "table 2: A column total of 0 is invalid")
  expect_error(analyse_2x2(1, 2, 3, 4, tests = 10), "Test\\(s\\)")
  expect_error(analyse_2x2(1, 2, 3, 4, tests = 1.5), "is not an integer")
  expect_error(analyse_2x2(1, 2, NA, 4), "missing")
  expect_error(analyse_2x2(matrix(1:6, 2)), "2 x 2")
  expect_error(analyse_2x2(1:3, 1:2, 1, 1), "equal lengths")
})
