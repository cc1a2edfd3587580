import os

class Outer(object):
    """Doc ; string:
    more"""
    def method(self, a: int = 1) -> int:
        x = {"k": 1, 'q': [1, 2]}
        return a  # comment: here

    @property
    def prop(self): return 1

async def run():
    s = f"{x}: {y}"
    t = r'\d:'
    u = """never closed
