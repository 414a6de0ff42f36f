"""A progress callable that drives a tqdm bar (tqdm is optional)."""


class TqdmProgress:
    """``progress=`` for any ertkit call, shown as a tqdm bar::

        with ertkit.tqdm_progress(desc="line1.binx") as progress:
            binx = ertkit.open(path, progress=progress)

    Options go to ``tqdm.tqdm`` (the default unit is bytes, scaled: pass ``unit="record"``,
    ``unit_scale=False`` for a download). The bar is made at the first call, when the total
    is known, and closed when the operation completes (the call with done == total), else
    with the ``with`` block (or by ``close()``). Passed straight to a call, without ``with``,
    it draws a full bar at the end as well.
    """

    def __init__(self, **options):
        try:
            import tqdm
        except ImportError as error:  # pragma: no cover - depends on the installation
            raise ImportError("tqdm_progress needs tqdm") from error
        self._tqdm = tqdm.tqdm
        self._options = {"unit": "B", "unit_scale": True, **options}
        self.bar = None
        self._closed = False

    def __call__(self, done, total):
        if self.bar is None or self._closed:
            # A first call, or the first of another operation once the last one completed.
            self.bar = self._tqdm(total=total, **self._options)
            self._closed = False
        elif self.bar.total != total:
            self.bar.total = total
            self.bar.refresh()
        self.bar.update(done - self.bar.n)
        if done >= total:
            # A completed operation ends with (total, total): the bar is drawn full and closed
            # at once, not when the object is collected (or the interpreter exits).
            self.close()

    def close(self):
        if self.bar is not None and not self._closed:
            self.bar.close()
            self._closed = True

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def tqdm_progress(**options):
    """A ``progress=`` callable shown as a tqdm bar; see TqdmProgress."""
    return TqdmProgress(**options)
