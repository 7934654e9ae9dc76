analyse_2x2 <- function(x, b, c, d, tests = 1:7, effects = FALSE) {
  # The cell c shadows base::c here, so the function is named in full.
  if (is.matrix(x) || is.table(x)) {
    if (!identical(dim(x), base::c(2L, 2L)))
      stop("'x' must be a 2 x 2 matrix", call. = FALSE)
    if (!missing(b) || !missing(c) || !missing(d))
      stop("give either a 2 x 2 matrix or the cells a, b, c and d", call. = FALSE)
    cells <- list(x[1, 1], x[1, 2], x[2, 1], x[2, 2])
  } else {
    if (missing(b) || missing(c) || missing(d))
      stop("give a 2 x 2 matrix, or the cells a (as x), b, c and d", call. = FALSE)
    cells <- list(x, b, c, d)
  }
  names(cells) <- base::c("a", "b", "c", "d")
  for (cell in names(cells)) {
    v <- cells[[cell]]
    if (anyNA(v) || (is.numeric(v) && any(!is.finite(v))))
      stop(sprintf("cell %s holds a missing or infinite value", cell), call. = FALSE)
    if (!is.numeric(v) || length(v) == 0L)
      stop(sprintf("cell %s must be numbers", cell), call. = FALSE)
  }
  count <- max(lengths(cells))
  if (any(count %% lengths(cells) != 0L))
    stop("the cells must have equal lengths (or length 1)", call. = FALSE)
  cells <- lapply(cells, function(v) as.double(rep_len(v, count)))
  if (!is.numeric(tests) || length(tests) == 0L || anyNA(tests))
    stop("'tests' must be test numbers", call. = FALSE)
  if (!is.logical(effects) || length(effects) != 1L || is.na(effects))
    stop("'effects' must be TRUE or FALSE", call. = FALSE)
  out <- cpp_analyse(cells$a, cells$b, cells$c, cells$d, as.double(tests), effects)
  for (message in out$corrections)
    warning(message, call. = FALSE)
  as_rows(out$columns)
}
