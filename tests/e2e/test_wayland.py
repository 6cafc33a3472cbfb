"""test_wayland.py — placeholder"""
import unittest


class WaylandTest(unittest.TestCase):
    pass
