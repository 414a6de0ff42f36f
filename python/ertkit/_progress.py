"""A progress callable that drives a tqdm bar (tqdm is optional)."""


class TqdmProgress:
    """``progress=`` for any ertkit call, shown as a tqdm bar::

        with ertkit.tqdm_progress(desc="line1.binx") as progress:
            binx = ertkit.open(path, progress=progress)

    Options go to ``tqdm.tqdm`` (the default unit is bytes, scaled: pass ``unit="record"``,
    ``unit_scale=False`` for a download). The bar is made at the first call, when the total
    is known, and closed with the ``with`` block (or by ``close()``).
    """

    def __init__(self, **options):
        try:
            import tqdm
        except ImportError as error:  # pragma: no cover - depends on the installation
            raise ImportError("tqdm_progress needs tqdm") from error
        self._tqdm = tqdm.tqdm
        self._options = {"unit": "B", "unit_scale": True, **options}
        self.bar = None

    def __call__(self, done, total):
        if self.bar is None:
            self.bar = self._tqdm(total=total, **self._options)
        elif self.bar.total != total:
            self.bar.total = total
            self.bar.refresh()
        self.bar.update(done - self.bar.n)

    def close(self):
        if self.bar is not None:
            self.bar.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False


def tqdm_progress(**options):
    """A ``progress=`` callable shown as a tqdm bar; see TqdmProgress."""
    return TqdmProgress(**options)
