# References computed by R itself, beside the package's own results.

# Every 2 x 2 table with no zero margin and a total from 2 to `max_total`.
table_grid <- function(max_total) {
  g <- expand.grid(a = 0:max_total, b = 0:max_total, c = 0:max_total, d = 0:max_total)
  n <- g$a + g$b + g$c + g$d
  g <- g[n >= 2 & n <= max_total, ]
  g[g$a + g$b > 0 & g$c + g$d > 0 & g$a + g$c > 0 & g$b + g$d > 0, ]
}

# fisher.test's conditional estimate and exact interval of the odds ratio, the same
# equations solved with uniroot at a tolerance far below fisher.test's own (its default
# .Machine$double.eps^0.25 leaves the fourth figure uncertain). From R's
# stats:::fisher.test, the 2 x 2 branch.
conditional_odds_ratio <- function(a, b, c, d, conf.level = .95) {
  m <- a + c; n <- b + d; k <- a + b; x <- a
  lo <- max(0L, k - n); hi <- min(k, m)
  support <- lo:hi
  logdc <- dhyper(support, m, n, k, log = TRUE)
  dnhyper <- function(ncp) {
    d <- logdc + log(ncp) * support
    d <- exp(d - max(d))
    d / sum(d)
  }
  mnhyper <- function(ncp) {
    if (ncp == 0) return(lo)
    if (ncp == Inf) return(hi)
    sum(support * dnhyper(ncp))
  }
  pnhyper <- function(q, ncp, upper.tail = FALSE) {
    if (ncp == 1) {
      return(if (upper.tail) phyper(x - 1, m, n, k, lower.tail = FALSE)
             else phyper(x, m, n, k))
    }
    if (ncp == 0) return(as.numeric(if (upper.tail) q <= lo else q >= lo))
    if (ncp == Inf) return(as.numeric(if (upper.tail) q <= hi else q >= hi))
    sum(dnhyper(ncp)[if (upper.tail) support >= q else support <= q])
  }
  tol <- 1e-13
  mle <- function(x) {
    if (x == lo) return(0)
    if (x == hi) return(Inf)
    mu <- mnhyper(1)
    if (mu > x) uniroot(function(t) mnhyper(t) - x, c(0, 1), tol = tol)$root
    else if (mu < x) 1 / uniroot(function(t) mnhyper(1 / t) - x, c(.Machine$double.eps, 1),
                                  tol = tol)$root
    else 1
  }
  ncp.U <- function(x, alpha) {
    if (x == hi) return(Inf)
    p <- pnhyper(x, 1)
    if (p < alpha) uniroot(function(t) pnhyper(x, t) - alpha, c(0, 1), tol = tol)$root
    else if (p > alpha) 1 / uniroot(function(t) pnhyper(x, 1 / t) - alpha,
                                    c(.Machine$double.eps, 1), tol = tol)$root
    else 1
  }
  ncp.L <- function(x, alpha) {
    if (x == lo) return(0)
    p <- pnhyper(x, 1, upper.tail = TRUE)
    if (p > alpha) uniroot(function(t) pnhyper(x, t, upper.tail = TRUE) - alpha, c(0, 1),
                           tol = tol)$root
    else if (p < alpha) 1 / uniroot(function(t) pnhyper(x, 1 / t, upper.tail = TRUE) - alpha,
                                    c(.Machine$double.eps, 1), tol = tol)$root
    else 1
  }
  alpha <- (1 - conf.level) / 2
  c(estimate = mle(x), lower = ncp.L(x, alpha), upper = ncp.U(x, alpha))
}

# The exact probability that fisher.test rejects at `alpha` when rows of m and n are
# binomial samples with proportions p1 and p2: every table enumerated.
fisher_power <- function(m, n, p1, p2, alpha = .05) {
  total <- 0
  for (a in 0:m) for (c in 0:n) {
    margins <- c(a + c, m + n - a - c)
    p <- if (any(margins == 0)) 1 else fisher.test(matrix(c(a, c, m - a, n - c), 2))$p.value
    if (p <= alpha) total <- total + dbinom(a, m, p1) * dbinom(c, n, p2)
  }
  total
}
