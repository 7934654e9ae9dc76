# Arguments become the texts the engine's fields take, as a user types them on the command
# line: numbers joined by commas, or a text passed as it is (a range "10 - 20", a sequence
# "10 to 30 step 2", "all", "overall", the combined policies "15" and "35").
field_text <- function(x, name) {
  if (is.character(x)) {
    if (length(x) != 1L || is.na(x))
      stop(sprintf("'%s' must be numbers or a single text", name), call. = FALSE)
    return(x)
  }
  if (!is.numeric(x) || length(x) == 0L || anyNA(x))
    stop(sprintf("'%s' must be numbers or a single text", name), call. = FALSE)
  paste(as.character(x), collapse = ", ")
}

# A single value (the fields that take one number only).
single_text <- function(x, name) {
  if (length(x) != 1L)
    stop(sprintf("'%s' must be a single value", name), call. = FALSE)
  field_text(x, name)
}

threads_value <- function(threads) {
  if (!is.numeric(threads) || length(threads) != 1L || is.na(threads) ||
      threads < 0 || threads != trunc(threads))
    stop("'threads' must be a whole number, 0 for one per core", call. = FALSE)
  as.integer(threads)
}

# Runs `run(folder, keep)`: into `data_dir` when given (the study's files kept there, as
# the program keeps them), otherwise into a folder of the session's own that is removed
# afterwards, so that nothing is left behind.
with_data_dir <- function(data_dir, run) {
  if (is.null(data_dir)) {
    folder <- tempfile("quillon")
    on.exit(unlink(folder, recursive = TRUE), add = TRUE)
    return(run(folder, FALSE))
  }
  if (!is.character(data_dir) || length(data_dir) != 1L || is.na(data_dir))
    stop("'data_dir' must be a single folder name", call. = FALSE)
  run(path.expand(data_dir), TRUE)
}

as_rows <- function(columns) {
  as.data.frame(columns, stringsAsFactors = FALSE)
}
