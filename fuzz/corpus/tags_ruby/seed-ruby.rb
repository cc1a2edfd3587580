module Outer
  class Inner < Base
    def method(a, b = 1)
    end
    def self.klass; end
  end
end
=begin
def hidden; end
=end
class << self
end
