"""A small C++ scanner shared by the layout checks: string literals and code without comments."""


def split_code(text: str):
    """Returns (code, literals): `code` is `text` with comments and the contents of string and
    character literals blanked (line breaks kept, so line numbers stay), `literals` the string
    literals' contents with the line each starts on."""
    code = []
    literals = []
    i, n, line = 0, len(text), 1
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            code.append("\n" * text.count("\n", i, end))
            line += text.count("\n", i, end)
            i = end
        elif c == "R" and text.startswith('R"', i) and (i == 0 or not text[i - 1].isalnum()):
            open_paren = text.find("(", i)
            delimiter = ")" + text[i + 2:open_paren] + '"'
            end = text.find(delimiter, open_paren)
            end = n if end < 0 else end + len(delimiter)
            literals.append((line, text[open_paren + 1:end - len(delimiter)]))
            code.append('""' + "\n" * text.count("\n", i, end))
            line += text.count("\n", i, end)
            i = end
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            if c == '"':
                literals.append((line, text[i + 1:j]))
            code.append(c + c)
            i = j + 1
        else:
            if c == "\n":
                line += 1
            code.append(c)
            i += 1
    return "".join(code), literals
