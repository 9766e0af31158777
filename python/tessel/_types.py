# SPDX-License-Identifier: MIT
"""The small records the tessel module returns, and the locale names captions take."""

from __future__ import annotations

from typing import NamedTuple, Tuple, Union

from ._errors import InvalidArgumentError


class Component(NamedTuple):
    """One component of the image as the coefficient store holds it."""

    h_sampling: int
    """Horizontal sampling factor, 1 to 4."""
    v_sampling: int
    """Vertical sampling factor, 1 to 4."""
    blocks_wide: int
    """8x8 blocks in a row of the store (whole MCUs, filler blocks included)."""
    blocks_high: int
    """Rows of blocks in the store (whole MCUs)."""
    quantization: Tuple[int, ...]
    """The 64 quantizers, natural order."""


class ApplyStatistics(NamedTuple):
    """What Image.apply re-encoded."""

    mcus: int
    """Every MCU of the image."""
    blocks: int
    """Blocks that cover the image (filler blocks not counted)."""
    changed_mcus: int
    """MCUs found changed."""
    changed_blocks: int
    """Blocks re-encoded."""


class Damage(NamedTuple):
    """What the decoder found wrong with a damaged stream."""

    truncated: bool
    """The entropy-coded data ends before the image does."""
    corrupt_data: bool
    """Corrupt entropy-coded data (a bad Huffman code, a bad marker)."""
    out_of_range: bool
    """A coefficient times its quantizer leaves 16 bits."""
    warnings: int
    """Warnings the decoder raised."""
    permille: int
    """Share of the image the data reached before it ended, 0 to 1000."""


COLOUR_SPACES = ("Unknown", "Grayscale", "RGB", "YCbCr", "CMYK", "YCCK")

# Locale names of captions and the Windows locale numbers the library takes for them.
LOCALES = {
    "": 0,  # the environment's locale (LC_ALL, LC_TIME, LANG)
    "invariant": 0x007F,
    "cs-CZ": 0x0405,
    "da-DK": 0x0406,
    "de-AT": 0x0C07,
    "de-CH": 0x0807,
    "de-DE": 0x0407,
    "el-GR": 0x0408,
    "en-AU": 0x0C09,
    "en-CA": 0x1009,
    "en-GB": 0x0809,
    "en-IE": 0x1809,
    "en-NZ": 0x1409,
    "en-US": 0x0409,
    "es-ES": 0x0C0A,
    "es-MX": 0x080A,
    "fi-FI": 0x040B,
    "fr-BE": 0x080C,
    "fr-CA": 0x0C0C,
    "fr-CH": 0x100C,
    "fr-FR": 0x040C,
    "hu-HU": 0x040E,
    "it-IT": 0x0410,
    "ja-JP": 0x0411,
    "ko-KR": 0x0412,
    "nb-NO": 0x0414,
    "nl-BE": 0x0813,
    "nl-NL": 0x0413,
    "pl-PL": 0x0415,
    "pt-BR": 0x0416,
    "pt-PT": 0x0816,
    "ru-RU": 0x0419,
    "sv-SE": 0x041D,
    "tr-TR": 0x041F,
    "uk-UA": 0x0422,
    "zh-CN": 0x0804,
    "zh-TW": 0x0404,
}

_FOLDED = {name.lower().replace("_", "-"): number for name, number in LOCALES.items()}


def locale_id(locale: Union[str, int, None]) -> int:
    """The Windows locale number for a name such as "en-GB" (or "en_GB"); a number passes as
    it is, None and "" mean the environment's locale."""
    if locale is None:
        return 0
    if isinstance(locale, bool) or not isinstance(locale, (str, int)):
        raise TypeError(f"locale is a name such as 'en-GB' or a number, not {locale!r}")
    if isinstance(locale, int):
        if not 0 <= locale <= 0xFFFFFFFF:
            raise InvalidArgumentError(f"locale number {locale} is out of range")
        return locale
    number = _FOLDED.get(locale.lower().replace("_", "-"))
    if number is None:
        raise InvalidArgumentError(f"unknown locale {locale!r}; known: {', '.join(n for n in LOCALES if n)}"
                         " (or pass a Windows locale number)")
    return number
