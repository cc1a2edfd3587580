class Elk(Animal):
    """Docstring

    def not_a_def():
    """
    def graze(self):
        pass


def main():
    Elk().graze()
