size_2x2 <- function(n, design = c("ct", "cs"), row1 = .5, pcol = .5, interval = 0,
                     tests = 1, men = 0, mmt = 1, alpha = .05, threads = 1,
                     data_dir = NULL) {
  design <- match.arg(design)
  texts <- list(field_text(n, "n"), field_text(row1, "row1"), field_text(pcol, "pcol"),
                single_text(interval, "interval"), field_text(tests, "tests"),
                field_text(men, "men"), single_text(mmt, "mmt"), single_text(alpha, "alpha"))
  threads <- threads_value(threads)
  as_rows(with_data_dir(data_dir, function(folder, keep)
    cpp_particular(texts[[1]], design, texts[[2]], texts[[3]], texts[[4]], texts[[5]],
                   texts[[6]], texts[[7]], texts[[8]], threads, folder, keep)))
}

max_size_2x2 <- function(n, design = c("ct", "cs"), row1 = .5, tests = 1, men = 0, mmt = 1,
                         alpha = .05, accuracy = .001, property = c("size", "excess"),
                         threads = 1, data_dir = NULL) {
  design <- match.arg(design)
  property <- match.arg(property)
  texts <- list(field_text(n, "n"), single_text(row1, "row1"), field_text(tests, "tests"),
                field_text(men, "men"), single_text(mmt, "mmt"), single_text(alpha, "alpha"),
                single_text(accuracy, "accuracy"))
  threads <- threads_value(threads)
  rows <- as_rows(with_data_dir(data_dir, function(folder, keep)
    cpp_maximum(texts[[1]], design, texts[[2]], texts[[3]], texts[[4]], texts[[5]],
                texts[[6]], texts[[7]], property == "excess", threads, folder, keep)))
  rows
}

power_2x2 <- function(n, p1, p2, design = c("ct", "cs"), row1 = .5, tests = 1, men = 0,
                      mmt = 1, alpha = .05, threads = 1, data_dir = NULL) {
  run_power(n, p1, p2, match.arg(design), row1, tests, men, mmt, alpha, .8, threads,
            data_dir)$power
}

sample_size_2x2 <- function(n, p1, p2, design = c("ct", "cs"), row1 = .5, tests = 1,
                            men = 0, mmt = 1, alpha = .05, target = .8, threads = 1,
                            data_dir = NULL) {
  design <- match.arg(design)
  if (!is.character(n) && length(unique(n)) < 2L)
    stop("'n' must list several total numbers to find a sample size among them",
         call. = FALSE)
  run_power(n, p1, p2, design, row1, tests, men, mmt, alpha, target, threads,
            data_dir)$sizes
}

run_power <- function(n, p1, p2, design, row1, tests, men, mmt, alpha, target, threads,
                      data_dir) {
  texts <- list(field_text(n, "n"), field_text(p1, "p1"), field_text(p2, "p2"),
                field_text(row1, "row1"), field_text(tests, "tests"), field_text(men, "men"),
                single_text(mmt, "mmt"), single_text(alpha, "alpha"),
                single_text(target, "target"))
  threads <- threads_value(threads)
  out <- with_data_dir(data_dir, function(folder, keep)
    cpp_power(texts[[1]], texts[[2]], texts[[3]], design, texts[[4]], texts[[5]], texts[[6]],
              texts[[7]], texts[[8]], texts[[9]], threads, folder, keep))
  list(power = as_rows(out$power), sizes = as_rows(out$sizes))
}
