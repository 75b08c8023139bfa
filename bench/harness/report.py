"""The report: a Markdown file with a summary and one table per measurement,
and a bar chart drawn with gnuplot."""

import os
import subprocess
from dataclasses import dataclass, field
from typing import List, Optional, Sequence

from timing import Summary


@dataclass
class Figure:
    """One line of the summary: a figure against its target."""
    what: str
    measured: str
    target: str = "none"
    met: Optional[bool] = None  # None when there is no target
    note: str = ""

    def verdict(self) -> str:
        if self.met is None:
            return "-"
        return "met" if self.met else "**MISSED**"


@dataclass
class Bar:
    label: str
    value: float
    low: Optional[float] = None
    high: Optional[float] = None
    target: Optional[float] = None  # drawn as a mark on the bar


@dataclass
class Panel:
    title: str
    unit: str
    bars: List[Bar]


@dataclass
class Report:
    preamble: str
    figures: List[Figure] = field(default_factory=list)
    sections: List[str] = field(default_factory=list)
    panels: List[Panel] = field(default_factory=list)


def table(headers: Sequence[str], rows: Sequence[Sequence[str]]) -> str:
    lines = ["| " + " | ".join(headers) + " |",
             "|" + "|".join("---" for _ in headers) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def spread(summary: Summary, digits: int = 3) -> str:
    """'median (min-max)'."""
    return (f"{summary.median:.{digits}f} "
            f"({summary.low:.{digits}f}–{summary.high:.{digits}f})")


def summary_table(figures: Sequence[Figure]) -> str:
    rows = [[f.what, f.measured, f.target, f.verdict(), f.note]
            for f in figures]
    return table(["Figure", "Measured", "Target", "Verdict", "Note"], rows)


def write_markdown(report: Report, path: str) -> None:
    parts = [report.preamble, "## Summary", summary_table(report.figures)]
    parts += report.sections
    with open(path, "w") as out:
        out.write("\n\n".join(parts) + "\n")


def _number(value: Optional[float]) -> str:
    return "NaN" if value is None else repr(value)


def _write_panel_data(panel: Panel, path: str) -> None:
    with open(path, "w") as out:
        for bar in panel.bars:
            low = bar.value if bar.low is None else bar.low
            high = bar.value if bar.high is None else bar.high
            out.write(f'"{bar.label}" {bar.value!r} {low!r} {high!r} '
                      f"{_number(bar.target)}\n")


def _panel_commands(panel: Panel, data_path: str) -> str:
    top = max(max(bar.high or bar.value, bar.target or 0) for bar in panel.bars)
    plots = [f'"{data_path}" using 0:2:xtic(1) with boxes lc rgb "#4477aa" '
             "notitle",
             '"" using 0:2:3:4 with yerrorbars lc rgb "black" pt 7 ps 0.4 notitle']
    if any(bar.target is not None for bar in panel.bars):
        plots.append('"" using 0:5 with points pt 9 ps 1.5 lc rgb "#cc3311" '
                     'title "target"')
    return "\n".join([f'set title "{panel.title}"',
                      f'set ylabel "{panel.unit}"',
                      f"set yrange [0:{top * 1.25!r}]",
                      "plot " + ", ".join(plots)])


def write_plot(report: Report, png_path: str, work_folder: str) -> None:
    """One bar chart per panel; whiskers show min and max, triangles the
    targets. Needs gnuplot."""
    columns = 3
    rows = (len(report.panels) + columns - 1) // columns
    script = [f'set terminal pngcairo size {columns * 520},{rows * 400} '
              'font "sans,10"',
              f'set output "{png_path}"',
              'set datafile missing "NaN"',
              "set style fill solid 0.5 border -1",
              "set boxwidth 0.6",
              "set key top left",
              "set xtics rotate by -20",
              "set grid ytics",
              f"set multiplot layout {rows},{columns}"]
    for index, panel in enumerate(report.panels):
        data_path = os.path.join(work_folder, f"panel{index}.dat")
        _write_panel_data(panel, data_path)
        script.append(_panel_commands(panel, data_path))
    script.append("unset multiplot")
    script_path = os.path.join(work_folder, "report.gnuplot")
    with open(script_path, "w") as out:
        out.write("\n".join(script) + "\n")
    subprocess.run(["gnuplot", script_path], check=True)
